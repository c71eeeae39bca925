"""The calibration corrections, against the reference model bit for bit."""

import gc
import random

import pytest

import tavik.tavik_core as core
from reference import analog as ref
from support import SNAN, bits, rand_double

DETUNE, COUPLE, RABI = core.apply_detuning_correction, core.apply_coupling_correction, core.apply_rabi_correction


@pytest.mark.parametrize("seed", range(8))
def test_corrections_match_reference_bit_for_bit(seed):
    rng = random.Random(seed)
    n = rng.randrange(0, 30)
    detunings = [rand_double(rng) for _ in range(n)]
    offsets = [(rng.randrange(0, n + 5), rand_double(rng)) for _ in range(rng.randrange(0, 40))]
    assert bits(DETUNE(detunings=detunings, offsets=offsets)) == bits(ref.apply_detuning_correction(detunings, offsets))
    pairs = [(rng.randrange(4), rng.randrange(4)) for _ in range(12)]
    couplings = [(rng.choice(pairs), rand_double(rng)) for _ in range(rng.randrange(0, 30))]
    errors = [(rng.choice(pairs), rand_double(rng)) for _ in range(rng.randrange(0, 30))]
    got, want = COUPLE(couplings=couplings, errors=errors), ref.apply_coupling_correction(couplings, errors)
    assert [p for p, _ in got] == [p for p, _ in want] and bits([j for _, j in got]) == bits([j for _, j in want])
    values = [(rand_double(rng), rand_double(rng)) for _ in range(50)]
    got = [RABI(rabi_frequency=f, global_rabi_error=e) for f, e in values]
    assert bits(got) == bits([ref.apply_rabi_correction(f, e) for f, e in values])


def test_uncorrected_values_still_go_through_the_arithmetic():
    # A signalling NaN comes back quieted, as from any arithmetic on it.
    assert bits(DETUNE([SNAN], [])) == bits([SNAN - 0.0]) != bits([SNAN])
    assert bits([COUPLE([((0, 1), SNAN)], [])[0][1]]) == bits([SNAN / 1.0]) != bits([SNAN])


@pytest.mark.parametrize("enabled", [True, False])
def test_coupling_correction_leaves_the_garbage_collector_as_it_was(enabled):
    was = gc.isenabled()
    try:
        (gc.enable if enabled else gc.disable)()
        assert COUPLE([((0, 1), 1.0)] * 3000, [((0, 1), 1.0)]) == [((0, 1), 0.5)] * 3000 and gc.isenabled() is enabled
    finally:
        (gc.enable if was else gc.disable)()
