import math
import random

import pytest

import tavik.tavik_core as core
from exact import assert_exact, outcome, reference_outcome
from reference import statevector as ref
from support import assert_no_leak, raises_panic
from tavik.exceptions import SizeViolation

R = 0.7071067811865476
ZERO = (0.0, 0.0)


@pytest.mark.parametrize(
    "instructions, n, expected",
    [
        ([], 0, [(1.0, 0.0)]),
        ([], 2, [(1.0, 0.0), ZERO, ZERO, ZERO]),
        ([("x", [0], [])], 2, [ZERO, (1.0, 0.0), ZERO, ZERO]),  # qubit 0 is the low bit
        ([("x", [1], [])], 2, [ZERO, ZERO, (1.0, 0.0), ZERO]),
        ([("h", [0], []), ("cx", [0, 1], [])], 2, [(R, 0.0), ZERO, ZERO, (R, 0.0)]),
        ([("x", [0], []), ("t", [0], [])], 1, [ZERO, (0.7071067811865476, 0.7071067811865475)]),
        ([("x", [1], []), ("cz", [1, 1], [])], 2, [ZERO, ZERO, (-1.0, -0.0), (-0.0, -0.0)]),  # negation includes zeros
        ([("x", [1], []), ("z", [1], [])], 2, [ZERO, ZERO, (-1.0, 0.0), ZERO]),  # the matrix gives +0.0
        ([("x", [0], []), ("swap", [0, 2, 1], [])], 3, [ZERO, ZERO, ZERO, ZERO, (1.0, 0.0), ZERO, ZERO, ZERO]),
        ([("x", [0], []), ("cx", [5, 0], [])], 2, [ZERO, (1.0, 0.0), ZERO, ZERO]),  # control beyond n: no-op
        ([("x", [0], []), ("cz", [0, 9], [])], 2, [ZERO, (1.0, 0.0), ZERO, ZERO]),
        ([("x", [0], []), ("cx", [0, 0], []), ("swap", [0, 0], [])], 1, [ZERO, (1.0, 0.0)]),
        ([("h", [0], [1.0, 2.0])], 1, [(R, 0.0), (R, 0.0)]),  # extra parameters are ignored
    ],
)
def test_documented_states(instructions, n, expected):
    assert_exact(core.run_statevector(instructions, n), expected)


@pytest.mark.parametrize(
    "instructions, n, kind, message",
    [
        ([("H", [0], [])], 1, ValueError, "'H' is not a single-qubit gate"),
        ([("h", [0, 1], [])], 2, ValueError, "'h' is not a supported two-qubit gate"),
        ([("cx", [0], [])], 2, ValueError, "'cx' is not a single-qubit gate"),
        ([("x", [0], []), ("bogus", [0, 1, 2], [])], 3, ValueError, "'bogus' is not a supported two-qubit gate"),
        ([("x", [0], [])], 25, SizeViolation, "SizeViolation: run_statevector requires n_qubits <= 24"),
        ([("H", [], [])], 2**64 - 1, SizeViolation, "SizeViolation: run_statevector requires n_qubits <= 24"),
        ([("h", [0])], 2, ValueError, "expected tuple of length 3, but got tuple of length 2"),
    ],
)
def test_refused(instructions, n, kind, message):
    with pytest.raises(kind) as info:
        core.run_statevector(instructions, n)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "instructions, n, message",
    [
        ([("x", [], [])], 2, "index out of bounds: the len is 0 but the index is 0"),
        ([("rx", [0], [])], 1, "index out of bounds: the len is 0 but the index is 0"),
        ([("rz", [0], [])], 1, "index out of bounds: the len is 0 but the index is 0"),
        ([("u", [0], [0.1, 0.2])], 1, "index out of bounds: the len is 2 but the index is 2"),
        ([("u", [0], [0.1])], 1, "index out of bounds: the len is 1 but the index is 1"),
        ([("x", [2], [])], 2, "index out of bounds: the len is 4 but the index is 4"),
        ([("x", [63], [])], 2, "index out of bounds: the len is 4 but the index is 9223372036854775808"),
        ([("x", [0], [])], 0, "index out of bounds: the len is 1 but the index is 1"),
        ([("cx", [1, 3], [])], 2, "index out of bounds: the len is 4 but the index is 10"),
        ([("swap", [1, 3], [])], 2, "index out of bounds: the len is 4 but the index is 8"),
        # A failing instruction stops the call; the first failure in list order wins.
        ([("rx", [7], [])], 2, "index out of bounds: the len is 0 but the index is 0"),
        ([("x", [5], []), ("H", [0], [])], 2, "index out of bounds: the len is 4 but the index is 32"),
        # Beyond 64 bits the partner index is written as a power of two.
        ([("x", [64], [])], 2, "index out of bounds: the len is 4 but the index is 2^64"),
        ([("h", [2**64 - 1], [])], 3, f"index out of bounds: the len is 8 but the index is 2^{2**64 - 1}"),
        ([("cx", [0, 64], [])], 2, "index out of bounds: the len is 4 but the index is 2^64 + 1"),
        ([("swap", [1, 100], [])], 2, "index out of bounds: the len is 4 but the index is 2^100"),
    ],
)
def test_index_failures(instructions, n, message):
    with raises_panic(message):
        core.run_statevector(instructions, n)


@pytest.mark.parametrize("gates", [[("cx", [64, 0], [])], [("swap", [2**64 - 1, 1], [])], [("cz", [0, 2**64 - 1], [])]])
def test_qubits_beyond_64_bits_have_no_set_bit(gates):
    prepare = [("h", [0], []), ("h", [1], []), ("t", [1], [])]
    assert_exact(core.run_statevector(prepare + gates, 2), core.run_statevector(prepare, 2))


def test_text_lists_are_refused():
    with pytest.raises(TypeError, match="argument 'instructions': Can't extract `str` to `Vec`"):
        core.run_statevector([("x", "0", [])], 1)
    with pytest.raises(TypeError, match="argument 'instructions': Can't extract `str` to `Vec`"):
        core.run_statevector([("rx", [0], "1")], 1)


# Angles that exercise signed zeros, exact multiples of π and non-finite values.
SPECIAL_ANGLES = [0.0, -0.0, math.pi, -math.pi, 2 * math.pi, math.pi / 2, 1e300, -1e-310, math.inf, math.nan]


def random_circuit(rng, n, length, specials):
    names = ["h", "x", "y", "z", "s", "t", "rx", "ry", "rz", "u", "cx", "cz", "swap"]
    circuit = []
    for _ in range(length):
        name = rng.choice(names)
        angle = (lambda: rng.choice(SPECIAL_ANGLES)) if specials and rng.random() < 0.3 else (
            lambda: rng.uniform(-7.0, 7.0))
        if name in ("cx", "cz", "swap"):
            q0, q1 = rng.randrange(n), rng.randrange(n)
            if rng.random() < 0.1:  # a control (or cz qubit) beyond the state is a no-op
                q0 = n + rng.randrange(3) if name != "cz" or rng.random() < 0.5 else q0
                q1 = q1 if name != "cz" else n + rng.randrange(70)
            circuit.append((name, [q0, q1] + [rng.randrange(9)] * rng.randrange(2), []))
        else:
            circuit.append((name, [rng.randrange(n)], [angle() for _ in range(rng.randrange(3, 5))]))
    return circuit


@pytest.mark.parametrize("seed", range(40))
def test_matches_reference_bit_for_bit(seed):
    rng = random.Random(seed)
    n = rng.randint(1, 6)
    circuit = random_circuit(rng, n, rng.randint(1, 40), specials=seed % 2 == 1)
    assert outcome(lambda: core.run_statevector(circuit, n)) == reference_outcome(
        lambda: ref.run_statevector(circuit, n))


@pytest.mark.parametrize("n, seed", [(10, 0), (12, 1), (15, 2), (15, 3)])
def test_larger_states_match_reference(n, seed):
    # Long vector loops, and circuits whose gates mostly touch the high
    # qubits, so that gates are applied a block of the state at a time.
    rng = random.Random(1000 + seed)
    circuit = random_circuit(rng, n, 36, specials=False)
    for k, (name, qubits, params) in enumerate(circuit):
        if rng.random() < 0.7:
            circuit[k] = (name, [n - 1 - q % 6 if q < n else q for q in qubits], params)
    assert_exact(core.run_statevector(circuit, n), ref.run_statevector(circuit, n))


def test_gate_on_a_signed_zero_amplitude_is_arithmetic_not_a_swap():
    # rz(π) leaves (cos π/2, −sin π/2)·1 = (6.1e-17, −1.0) at index 0; x then
    # computes 0·a + 1·b for index 0, giving +0.0 parts where b was −0.0.
    circuit = [("ry", [0], [math.pi]), ("rz", [0], [math.pi]), ("x", [0], [])]
    assert_exact(core.run_statevector(circuit, 1), ref.run_statevector(circuit, 1))


def test_twenty_four_qubits():
    state = core.run_statevector([("x", [23], []), ("h", [0], [])], 24)
    assert len(state) == 2**24
    assert state[2**23] == (R, 0.0) and state[2**23 + 1] == (R, 0.0)
    assert state[0] == ZERO and state[-1] == ZERO
    assert sum(1 for a in state if a != ZERO) == 2


def test_result_is_fresh_and_independent():
    first = core.run_statevector([("h", [0], [])], 3)
    first[0] = None
    second = core.run_statevector([("h", [0], [])], 3)
    assert second[0] == (R, 0.0) and len(second) == 8


def test_no_leaks():
    assert_no_leak(
        lambda: core.run_statevector([("h", [0], []), ("u", [1], [0.1, 0.2, 0.3]), ("cx", [0, 1], [])], 3),
        lambda: core.run_statevector([("x", [5], [])], 2),
        lambda: core.run_statevector([("H", [0], [])], 2),
        lambda: core.run_statevector([("x", [0], [])], 25),
        lambda: core.run_statevector([("x", [0])], 1),
        repeat=1000,
    )
