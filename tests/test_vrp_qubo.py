"""vrp_qubo_terms: keys, values and insertion order against the step-by-step
reference (which the README's examples pin), shared name objects, and the memory guard."""

import math
import random

import pytest

import tavik.tavik_core as core
from reference.vrp_qubo import vrp_qubo_terms as reference
from support import bits

SPECIAL = [0.0, -0.0, math.inf, -math.inf, math.nan, 5e-324, -1.5, 1e308]


def as_bits(qubo):
    """Items in insertion order, values compared bit for bit."""
    return bits(list(qubo.items()))


@pytest.mark.parametrize("n", [*range(0, 14), 17, 23])
@pytest.mark.parametrize("special", [False, True])
def test_matches_reference_bit_for_bit(n, special):
    rng = random.Random(1000 * n + special)

    def draw():
        return rng.choice(SPECIAL) if special and rng.random() < 0.15 else rng.uniform(-10.0, 10.0)

    for _ in range(3 if n < 14 else 1):
        dist, a, b = [[draw() for _ in range(n)] for _ in range(n)], draw(), draw()
        assert as_bits(core.vrp_qubo_terms(dist, a, b)) == as_bits(reference(dist, a, b))  # ints would show


def test_one_shared_string_per_name():
    names = [name for key in core.vrp_qubo_terms([[1.0] * 12] * 12, 1.0, 1.0) for name in key]
    assert len({id(name) for name in names}) == len(set(names)) == 144  # as many objects as names: one each


@pytest.mark.parametrize("dist", [[[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]], [[1.0, 2.0], [3.0]], [[1.0], [2.0]], [[]], [[1.0, 2.0], []],
                                  [[0.0, 1.0]] * 70_000, [[0.0] * 70_000] * 3])  # many rows, but visibly not square: not a memory error
def test_non_square_matrix_is_refused_after_conversion(dist):
    with pytest.raises(ValueError, match="^distance matrix must be square$"):
        core.vrp_qubo_terms(dist, 1.0, 1.0)
    with pytest.raises(TypeError, match="^argument 'penalty_b': must be real number, not str$"):
        core.vrp_qubo_terms(dist, 1.0, "b")


def test_instances_too_large_for_memory_fail_fast():
    # Far beyond the 32-bit variable indices (one shared row, 4.9e9 logical entries), then within the index width, but
    # ~16e9 entries cannot fit any memory.
    for n in (70_000, 2_000):
        with pytest.raises(MemoryError):
            core.vrp_qubo_terms([[0.0] * n] * n, 1.0, 1.0)
