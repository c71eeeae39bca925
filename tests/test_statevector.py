import math
import random

import numpy as np
import pytest

import tavik.tavik_core as core
from reference import statevector as ref
from reference.failures import Failure, out_of_bounds, outcome
from support import bits

R = 0.7071067811865476
ZERO, ONE = (0.0, 0.0), (1.0, 0.0)
NAN, NEG_NAN = math.nan, -math.nan
INVALID = math.inf - math.inf  # an invalid operation's NaN (−NaN on x86), as C's cos and sin give for ±inf
TOO_MANY = Failure("SizeViolation", "SizeViolation: run_statevector requires n_qubits <= 24")


@pytest.mark.parametrize("instructions, n, expected", [
    ([], 0, [ONE]),
    ([("x", [0], [1.0, 2.0])], 2, [ZERO, ONE, ZERO, ZERO]),  # qubit 0 is the low bit; extra parameters are ignored
    ([("x", [1], []), ("z", [1], [])], 2, [ZERO, ZERO, (-1.0, 0.0), ZERO]),  # the matrix gives +0.0
    # x is arithmetic, not a swap: 1·(−0.0, −0.0) + 0·a has a +0.0 real part
    ([("x", [1], []), ("cz", [1, 1], []), ("x", [0], [])], 2, [ZERO, ZERO, (0.0, -0.0), (-1.0, -0.0)]),
    ([("x", [0], []), ("h", [0, 1, 2], [])], 3, Failure("ValueError", "'h' is not a supported two-qubit gate")),
    *[([("H", [], [])], n, TOO_MANY) for n in (25, 2**64 - 1)],  # the size is checked first
    ([("x", [63], [])], 2, out_of_bounds(4, 9223372036854775808)),
    ([("cx", [1, 3], [])], 2, out_of_bounds(4, 10)),
    ([("swap", [1, 3], [])], 2, out_of_bounds(4, 8)),
    # A failing instruction stops the call; the first failure in list order wins, a missing parameter first.
    ([("rx", [7], [])], 2, out_of_bounds(0, 0)),
    ([("x", [5], []), ("H", [0], [])], 2, out_of_bounds(4, 32)),
    # Beyond 64 bits the partner index is written as a power of two.
    ([("x", [64], [])], 2, out_of_bounds(4, "2^64")),
    ([("h", [2**64 - 1], [])], 3, out_of_bounds(8, f"2^{2**64 - 1}")),
    # Where two NaNs meet, the first in the formula's order wins (one pair, and pairs in vectors).
    *[(c, 1, [(INVALID, INVALID)] * 2) for c in ([("rz", [0], [math.inf])], [("u", [0], [math.inf, 1.0, 1.0])])],
    ([("h", [0], []), ("u", [0], [NAN, NEG_NAN, 1.0])], 2, [(NAN, NAN), (NEG_NAN, NEG_NAN)] * 2),
])
def test_documented_outcomes(instructions, n, expected):
    if isinstance(expected, Failure):
        assert outcome(lambda: core.run_statevector(instructions, n)) == expected.args
    else:
        assert bits(core.run_statevector(instructions, n)) == bits(ref.run_statevector(instructions, n)) == bits(expected)


SPECIAL_ANGLES = [0.0, -0.0, math.pi, -math.pi, 2 * math.pi, math.pi / 2, 1e300, -1e-310, math.inf, NAN, NEG_NAN]


def random_circuit(rng, n, length, specials=False, high=0.0):
    """Gates with 3 or 4 parameters, a few controls (or cz qubits) beyond the state: no-ops even beyond 64 bits.
    `high`: the chance that a gate moves to the top six qubits, processed a tile of the state at a time.
    `specials`: special angles, and now and then a failing instruction."""
    def angle():
        return rng.choice(SPECIAL_ANGLES) if specials and rng.random() < 0.3 else rng.uniform(-7.0, 7.0)

    circuit = []
    for _ in range(length):
        name = rng.choice(["h", "x", "y", "z", "s", "t", "rx", "ry", "rz", "u", "cx", "cz", "swap"])
        qubits = [rng.randrange(n)]
        if name in ("cx", "cz", "swap"):
            qubits += [rng.randrange(n)] + [rng.randrange(9)] * rng.randrange(2)
            if rng.random() < 0.15:
                qubits[rng.randrange(2) if name == "cz" else 0] = rng.choice([n, n + 2, 64, 65, 2**64 - 1])
        if rng.random() < high:
            qubits = [n - 1 - q % 6 if q < n else q for q in qubits]
        circuit.append((name, qubits, [angle() for _ in range(rng.randrange(3, 5))]))
        if specials and rng.random() < 0.03:  # unknown gate, missing qubit or parameter, target beyond the state
            bad = rng.sample([rng.randrange(n), n + rng.randrange(70)], 2)[: rng.randrange(3)]
            circuit.append((rng.choice(["H", "x", "cx", "swap", "rx"]), bad, []))
    return circuit


# 1017: special angles in a state of tiles, NaNs of both signs meeting on the top qubits.
@pytest.mark.parametrize("seed, n", [(s, 0) for s in range(48)] + [(1000, 10), (1001, 12), (1002, 15), (1003, 15),
                                                                   (1017, 11)])
def test_matches_reference_bit_for_bit(seed, n):
    rng = random.Random(seed)
    n, length = (n, 36) if n else (rng.randint(1, 6), rng.randint(1, 40))
    circuit = random_circuit(rng, n, length, specials=n < 12 and seed % 2 == 1, high=0.7 * (n >= 10))
    assert outcome(lambda: core.run_statevector(circuit, n)) == outcome(lambda: ref.run_statevector(circuit, n))


PERMUTATION_QUBITS = [0, 1, 2, 11, 12]  # in one vector, every other vector, strided, and other runs of a tile


@pytest.mark.parametrize("gate", ["cx", "cz", "swap"])
@pytest.mark.parametrize("prepare", [
    [("u", [q], [0.3 + q, 0.5 * q, -0.7]) for q in range(13)],  # every amplitude distinct
    [("x", [0], []), ("x", [12], [])],  # zeros, which negate to -0.0
    [("rx", [12], [math.nan])],  # NaNs, whose sign negation flips too
])
def test_two_qubit_gates_move_every_bit(gate, prepare):
    """The two-qubit gates only move and negate amplitudes: each result's bit
    patterns (NaN signs included) are the permuted patterns of the state before."""
    n = 13
    before = np.array(core.run_statevector(prepare, n)).view(np.uint64)
    index = np.arange(2**n)
    for a in PERMUTATION_QUBITS:
        for b in PERMUTATION_QUBITS:
            if a == b and gate != "cz":
                continue
            bit_a, bit_b = index >> a & 1, index >> b & 1
            expected = before.copy()
            if gate == "cz":
                expected[(bit_a & bit_b) == 1] ^= np.uint64(1 << 63)
            elif gate == "cx":
                expected[bit_a == 1] = before[(index ^ (1 << b))[bit_a == 1]]
            else:
                expected = before[index ^ ((bit_a ^ bit_b) * ((1 << a) | (1 << b)))]
            after = np.array(core.run_statevector(prepare + [(gate, [a, b], [])], n)).view(np.uint64)
            assert np.array_equal(after, expected), (gate, a, b)
