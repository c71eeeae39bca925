"""Pure-Python statevector simulator: the documented algorithm, operation by
operation, for bit-exact comparison with run_statevector."""

import math

from reference.failures import Failure

R = 0.7071067811865476  # the double nearest 1/sqrt(2)
R_BELOW = 0.7071067811865475  # one unit in the last place below R
MAX_QUBITS = 24


def cos(x):
    return math.nan if math.isinf(x) else math.cos(x)  # C's cos(±inf) is NaN, Python raises


def sin(x):
    return math.nan if math.isinf(x) else math.sin(x)


def mul(x, y):
    return (x[0] * y[0] - x[1] * y[1], x[0] * y[1] + x[1] * y[0])


def index_text(index):
    """Decimal, or 2^q [+ low] once the index no longer fits in 64 bits."""
    if index < 2**64:
        return str(index)
    q = index.bit_length() - 1
    low = index - 2**q
    return f"2^{q}" + (f" + {low}" if low else "")


def out_of_bounds(length, index):
    return Failure("Panic", f"index out of bounds: the len is {length} but the index is {index_text(index)}")


def param(params, k):
    if k >= len(params):
        raise out_of_bounds(len(params), k)
    return params[k]


def single_qubit_matrix(name, params):
    if name == "h":
        return ((R, 0.0), (R, 0.0), (R, 0.0), (-R, 0.0))
    if name == "x":
        return ((0.0, 0.0), (1.0, 0.0), (1.0, 0.0), (0.0, 0.0))
    if name == "y":
        return ((0.0, 0.0), (0.0, -1.0), (0.0, 1.0), (0.0, 0.0))
    if name == "z":
        return ((1.0, 0.0), (0.0, 0.0), (0.0, 0.0), (-1.0, 0.0))
    if name == "s":
        return ((1.0, 0.0), (0.0, 0.0), (0.0, 0.0), (0.0, 1.0))
    if name == "t":
        return ((1.0, 0.0), (0.0, 0.0), (0.0, 0.0), (R, R_BELOW))
    if name in ("rx", "ry", "rz"):
        half = param(params, 0) * 0.5
        c, s = cos(half), sin(half)
        if name == "rx":
            return ((c, 0.0), (0.0, -s), (0.0, -s), (c, 0.0))
        if name == "ry":
            return ((c, 0.0), (-s, 0.0), (s, 0.0), (c, 0.0))
        return ((c, -s), (0.0, 0.0), (0.0, 0.0), (c, s))
    if name == "u":
        theta, phi, lam = param(params, 0), param(params, 1), param(params, 2)
        half = theta * 0.5
        c, s = cos(half), sin(half)
        m01 = mul((cos(lam), sin(lam)), (s, 0.0))
        m10 = mul((cos(phi), sin(phi)), (s, 0.0))
        phase = phi + lam
        m11 = mul((cos(phase), sin(phase)), (c, 0.0))
        return ((c, 0.0), (-m01[0], -m01[1]), m10, m11)
    raise Failure("ValueError", f"'{name}' is not a single-qubit gate")


def apply_single(state, q, m):
    m00, m01, m10, m11 = m
    step = 1 << q
    for base in range(0, len(state), 2 * step):
        for i in range(base, base + step):
            j = i + step
            if j >= len(state):
                raise out_of_bounds(len(state), j)
            a, b = state[i], state[j]
            pa, pb = mul(m00, a), mul(m01, b)
            qa, qb = mul(m10, a), mul(m11, b)
            state[i] = (pa[0] + pb[0], pa[1] + pb[1])
            state[j] = (qa[0] + qb[0], qa[1] + qb[1])


def apply_two_qubit(state, name, q0, q1):
    m0, m1 = 1 << q0, 1 << q1
    for idx in range(len(state)):
        b0, b1 = (idx >> q0) & 1, (idx >> q1) & 1
        if name == "cz":
            if b0 and b1:
                state[idx] = (-state[idx][0], -state[idx][1])
            continue
        if b0 and not b1:
            j = idx + m1 if name == "cx" else idx - m0 + m1
            if j >= len(state):
                raise out_of_bounds(len(state), j)
            state[idx], state[j] = state[j], state[idx]


def run_statevector(instructions, n_qubits):
    if n_qubits > MAX_QUBITS:
        raise Failure("SizeViolation", "SizeViolation: run_statevector requires n_qubits <= 24")
    state = [(0.0, 0.0)] * (1 << n_qubits)
    state[0] = (1.0, 0.0)
    for name, qubits, params in instructions:
        if len(qubits) == 0:
            raise out_of_bounds(0, 0)
        if len(qubits) == 1:
            apply_single(state, qubits[0], single_qubit_matrix(name, params))
        elif name in ("cx", "cz", "swap"):
            apply_two_qubit(state, name, qubits[0], qubits[1])
        else:
            raise Failure("ValueError", f"'{name}' is not a supported two-qubit gate")
    return state
