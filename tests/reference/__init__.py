"""Pure-Python reference models: each follows the documented algorithm step by step, in the documented arithmetic
order, so the module must match it bit for bit."""


# Of two NaNs, an addition, subtraction or multiplication gives the first operand's, as x86 does for the operands in
# written order; the module keeps that order whatever its compiled code does. CPython's own operators may pass either
# operand first (which one changes once the interpreter specialises the code), so a model that can meet two NaNs in
# one operation uses these.
def fadd(x, y):
    return x + (x if x != x else y)


def fsub(x, y):
    return x - (x if x != x else y)


def fmul(x, y):
    return x * (x if x != x else y)
