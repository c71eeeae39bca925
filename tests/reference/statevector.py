"""Pure-Python statevector simulator: the documented algorithm, operation by
operation, for bit-exact comparison with run_statevector."""

import math

from reference import fadd, fmul, fsub
from reference.failures import Failure, checked

R = 0.7071067811865476  # the double nearest 1/sqrt(2)
FIXED = {
    "h": ((R, 0.0), (R, 0.0), (R, 0.0), (-R, 0.0)),
    "x": ((0.0, 0.0), (1.0, 0.0), (1.0, 0.0), (0.0, 0.0)),
    "y": ((0.0, 0.0), (0.0, -1.0), (0.0, 1.0), (0.0, 0.0)),
    "z": ((1.0, 0.0), (0.0, 0.0), (0.0, 0.0), (-1.0, 0.0)),
    "s": ((1.0, 0.0), (0.0, 0.0), (0.0, 0.0), (0.0, 1.0)),
    "t": ((1.0, 0.0), (0.0, 0.0), (0.0, 0.0), (R, 0.7071067811865475)),  # one ulp below R
}


INVALID = math.inf - math.inf  # the NaN of an invalid operation, as C's cos and sin give for ±inf


def expi(x):
    """(cos x, sin x), with C's NaN for ±inf where Python raises."""
    return (INVALID, INVALID) if math.isinf(x) else (math.cos(x), math.sin(x))


def mul(x, y):
    return (fsub(fmul(x[0], y[0]), fmul(x[1], y[1])), fadd(fmul(x[0], y[1]), fmul(x[1], y[0])))


def mul_add(m, x, n, y):
    """m·x + n·y, each product as (mr·xr + (−mi)·xi, mr·xi + mi·xr): for
    numbers the same as mul, for a NaN with the sign of that negation."""
    return (fadd(fadd(fmul(m[0], x[0]), fmul(-m[1], x[1])), fadd(fmul(n[0], y[0]), fmul(-n[1], y[1]))),
            fadd(fadd(fmul(m[0], x[1]), fmul(m[1], x[0])), fadd(fmul(n[0], y[1]), fmul(n[1], y[0]))))


def single_qubit_matrix(name, params):
    if name in FIXED:
        return FIXED[name]
    if name in ("rx", "ry", "rz"):
        c, s = expi(checked(params, 0) * 0.5)
        return {"rx": ((c, 0.0), (0.0, -s), (0.0, -s), (c, 0.0)),
                "ry": ((c, 0.0), (-s, 0.0), (s, 0.0), (c, 0.0)),
                "rz": ((c, -s), (0.0, 0.0), (0.0, 0.0), (c, s))}[name]
    if name == "u":
        theta, phi, lam = checked(params, 0), checked(params, 1), checked(params, 2)
        c, s = expi(theta * 0.5)
        m01 = mul(expi(lam), (s, 0.0))
        return ((c, 0.0), (-m01[0], -m01[1]), mul(expi(phi), (s, 0.0)), mul(expi(fadd(phi, lam)), (c, 0.0)))
    raise Failure("ValueError", f"'{name}' is not a single-qubit gate")


def apply_single(state, q, m):
    step = 1 << q
    for base in range(0, len(state), 2 * step):
        for i in range(base, base + step):
            a, b = state[i], checked(state, i + step)
            state[i], state[i + step] = mul_add(m[0], a, m[1], b), mul_add(m[2], a, m[3], b)


def apply_two_qubit(state, name, q0, q1):
    for idx in range(len(state)):
        b0, b1 = (idx >> q0) & 1, (idx >> q1) & 1
        if name == "cz":
            if b0 and b1:
                state[idx] = (-state[idx][0], -state[idx][1])
        elif b0 and not b1:
            j = idx + (1 << q1) if name == "cx" else idx - (1 << q0) + (1 << q1)
            state[idx], state[j] = checked(state, j), state[idx]


def run_statevector(instructions, n_qubits):
    if n_qubits > 24:
        raise Failure("SizeViolation", "SizeViolation: run_statevector requires n_qubits <= 24")
    state = [(1.0, 0.0)] + [(0.0, 0.0)] * ((1 << n_qubits) - 1)
    for name, qubits, params in instructions:
        q0 = checked(qubits, 0)
        if len(qubits) == 1:
            apply_single(state, q0, single_qubit_matrix(name, params))
        elif name in ("cx", "cz", "swap"):
            apply_two_qubit(state, name, q0, qubits[1])
        else:
            raise Failure("ValueError", f"'{name}' is not a supported two-qubit gate")
    return state
