import math
import random

import pytest

import tavik.tavik_core as core
from exact import assert_exact, key, outcome, reference_outcome
from reference import noisy_runs as ref
from support import assert_no_leak, raises_panic


def test_first_draws_of_seed_zero():
    rng = ref.SplitMix64(0)
    assert [rng.next_float() for _ in range(3)] == [0.8833108082136426, 0.43152799704850997, 0.026433771592597743]
    assert core.simulate_qubo_runs([], [0, 0, 0], 1, 0.5, 0) == ([[0, 1, 1]], [-0.0])


def test_runs_continue_one_stream():
    # Run 1 uses draws 4..6: the same bits as the second run of a longer call.
    two = core.simulate_qubo_runs([], [0, 0, 0], 2, 0.5, 0)[0]
    rng = ref.SplitMix64(0)
    draws = [rng.next_float() for _ in range(6)]
    assert two[1] == [int(u < 0.5) for u in draws[3:]]


def random_case(rng):
    n = rng.choice([0, 1, 3, 7, 8, 9, 17, 40])
    bits = [rng.choice([0, 1]) if rng.random() < 0.9 else rng.randrange(256) for _ in range(n)]
    weights = [rng.uniform(-5, 5), 0.0, -0.0, 1e308, math.inf, -math.inf, math.nan, 5e-324]
    qubo = [((rng.randrange(n), rng.randrange(n)), rng.choice(weights) if rng.random() < 0.2 else rng.uniform(-5, 5))
            for _ in range(rng.randrange(0, 60) if n else 0)]
    if n and rng.random() < 0.15:  # an index beyond the assignment
        qubo.insert(rng.randrange(len(qubo) + 1), ((rng.randrange(n + 3), n + rng.randrange(3)), 1.0))
    noise = rng.choice([0.0, 0.1, 0.5, 0.9, 1.0, -0.5, 1.5, math.nan, 5e-324, 1 - 2**-53, rng.random()])
    runs = rng.choice([0, 1, 2, 31, 32, 33, 70])
    seed = rng.choice([0, 1, 2**64 - 1, rng.getrandbits(64)])
    return qubo, bits, runs, noise, seed


@pytest.mark.parametrize("case", range(60))
def test_matches_reference_bit_for_bit(case):
    args = random_case(random.Random(case))
    assert outcome(lambda: core.simulate_qubo_runs(*args)) == reference_outcome(lambda: ref.simulate_qubo_runs(*args))


@pytest.mark.parametrize(
    "noise, expected_bits",
    [(0.0, [0, 1, 2, 255]), (-1.0, [0, 1, 2, 255]), (math.nan, [0, 1, 2, 255]), (1.0, [1, 0, 255, 2]),
     (7.5, [1, 0, 255, 2])],
)
def test_noise_extremes(noise, expected_bits):
    qubo = [((2, 2), 1.5), ((0, 1), 1.0)]
    runs, energies = core.simulate_qubo_runs(qubo, [0, 1, 2, 255], 5, noise, 123)
    assert runs == [expected_bits] * 5
    assert_exact(energies, [ref.energy(qubo, expected_bits)] * 5)


def test_unflipped_two_contributes_two():
    assert_exact(core.simulate_qubo_runs([((0, 0), 1.5), ((0, 1), -1.0)], [2, 1], 1, 0.0, 0)[1], [(1.5 * 2.0) * 2.0 - 2.0])


@pytest.mark.parametrize(
    "qubo, bits, runs, message",
    [
        ([((0, 1), 1.0), ((0, 7), 1.0), ((9, 0), 1.0)], [0, 1], 3, "index out of bounds: the len is 2 but the index is 7"),
        ([((0, 1), 1.0), ((9, 8), 1.0)], [0, 1], 100, "index out of bounds: the len is 2 but the index is 9"),
        ([((0, 0), 1.0)], [], 1, "index out of bounds: the len is 0 but the index is 0"),
        ([((2**64 - 1, 0), 1.0)], [1] * 5, 40, "index out of bounds: the len is 5 but the index is 18446744073709551615"),
    ],
)
def test_first_bad_term_in_list_order(qubo, bits, runs, message):
    with raises_panic(message):
        core.simulate_qubo_runs(qubo, bits, runs, 0.5, 1)


def test_no_runs_no_checks():
    assert core.simulate_qubo_runs([((5, 9), 1.0)], [0], 0, 0.5, 0) == ([], [])


def test_no_variables_no_terms():
    runs, energies = core.simulate_qubo_runs([], [], 3, 0.5, 0)
    assert runs == [[], [], []] and key(energies) == key([-0.0] * 3)


@pytest.mark.parametrize(
    "args, kind, message",
    [
        (("01", [0], 1, 0.5, 0), TypeError, "argument 'qubo': Can't extract `str` to `Vec`"),
        (([], "01", 1, 0.5, 0), TypeError, "argument 'base_bits': Can't extract `str` to `Vec`"),
        (([], [256], 1, 0.5, 0), OverflowError, "out of range integral type conversion attempted"),
        (([], [-1], 1, 0.5, 0), OverflowError, "out of range integral type conversion attempted"),
        (([], [0], -1, 0.5, 0), OverflowError, None),
        (([], [0], 1, 0.5, 2**64), OverflowError, None),
        (([], [0], 1, "0.5", 0), TypeError, None),
        (([((0, 0, 0), 1.0)], [0], 1, 0.5, 0), ValueError, "expected tuple of length 2, but got tuple of length 3"),
    ],
)
def test_conversion_errors(args, kind, message):
    with pytest.raises(kind) as info:
        core.simulate_qubo_runs(*args)
    if message is not None:
        assert str(info.value) == message


def test_impossible_result_size_is_a_memory_error():
    with pytest.raises(MemoryError):
        core.simulate_qubo_runs([], [], 2**63, 0.5, 0)
    with pytest.raises(MemoryError):
        core.simulate_qubo_runs([], [0] * 16, 2**61, 0.5, 0)


def test_keywords_and_untouched_arguments():
    qubo, bits = [((0, 1), 2.0)], [1, 1]
    result = core.simulate_qubo_runs(seed=5, noise_level=0.25, n_runs=4, base_bits=bits, qubo=qubo)
    assert result == core.simulate_qubo_runs(qubo, bits, 4, 0.25, 5)
    assert qubo == [((0, 1), 2.0)] and bits == [1, 1]


def test_no_leaks():
    assert_no_leak(
        lambda: core.simulate_qubo_runs([((0, 1), 1.0), ((1, 1), -2.0)], [0, 1, 1], 40, 0.3, 5),
        lambda: core.simulate_qubo_runs([((0, 9), 1.0)], [0, 1, 1], 4, 0.3, 5),
        lambda: core.simulate_qubo_runs([], [0, 300], 4, 0.3, 5),
        lambda: core.simulate_qubo_runs([], [], 2**63, 0.3, 5),
        repeat=1000,
    )


@pytest.mark.parametrize("n", [3, 9000])  # both the grouped and the one-run-at-a-time energy loops
def test_energy_sum_starts_at_negative_zero(n):
    # Every contribution is −0.0: a sum started at +0.0 would end +0.0.
    qubo = [((0, 1), -1.0), ((1, 1), -2.0), ((2, 0), -3.0)]
    bits = [1, 0, 0] + [0] * (n - 3)
    energies = core.simulate_qubo_runs(qubo, bits, 40, 0.0, 0)[1]
    assert_exact(energies, [-0.0] * 40)
    qubo = [((0, 1), -0.0)]
    assert_exact(core.simulate_qubo_runs(qubo, [1, 1] + [0] * (n - 2), 3, 0.0, 0)[1], [-0.0] * 3)
