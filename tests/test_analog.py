"""Analog compilers, their records, and the calibration corrections, against
the reference models bit for bit."""

import gc
import math
import random
import struct

import pytest

from reference import analog as ref
from support import assert_no_leak

import tavik.tavik_core as core

analog, sim = core.analog, core.sim
SNAN = struct.unpack("<d", struct.pack("<Q", 0x7FF0000000000001))[0]  # quieted by any arithmetic
SPECIALS = [0.0, -0.0, math.nan, -math.nan, SNAN, math.inf, -math.inf, 5e-324, 1e308, -1.0, -0.99, -1.01, -5.0]


def raw(values):
    """Exact bit patterns, NaN sign and payload included."""
    return [struct.pack("<d", v) for v in values]


def graph(names, interactions=()):
    return sim.LogicalGraph([sim.Variable(n, "spin") for n in names], [sim.Interaction(*t) for t in interactions])


def rand_double(rng):
    return rng.choice([rng.uniform(-3, 3), rng.choice(SPECIALS), rng.uniform(-1.2, -0.8)])


# --- neutral atoms -----------------------------------------------------------


@pytest.mark.parametrize(
    "n, expected",
    [(0, []), (1, [(0, 0)]), (2, [(0, 0), (5, 0)]), (5, [(0, 0), (5, 0), (10, 0), (0, 5), (5, 5)]),
     (9, [(x, y) for y in (0, 5, 10) for x in (0, 5, 10)]), (10, [(x, y) for y in (0, 5, 10) for x in (0, 5, 10, 15)][:10])],
)  # fmt: skip
def test_geometry_examples(n, expected):
    coords = analog.NeutralAtomCompiler().map_to_spatial_geometry(graph=graph([f"v{k}" for k in range(n)]))
    assert [(c.x, c.y) for c in coords] == expected


def test_geometry_matches_reference_and_ignores_names_and_interactions():
    compiler = analog.NeutralAtomCompiler()
    for n in list(range(1, 130)) + [1023, 1024, 1025]:
        g = graph(["same"] * n, [("same", "other", 1.0)])
        got = [(c.x, c.y) for c in compiler.map_to_spatial_geometry(g)]
        assert got == ref.map_to_spatial_geometry(n) and all(type(v) is float for p in got for v in p)


def test_controls_and_records_keep_values_as_given():
    compiler = analog.NeutralAtomCompiler()
    coords = compiler.map_to_spatial_geometry(graph("abc"))
    for positions in (coords, []):  # the graph is not used
        controls = compiler.generate_rydberg_controls(graph=graph("ab"), coords=positions)
        assert (controls.omega, controls.delta) == ([1.0] * 100, [0.5] * 100)
        first, second = controls.atom_positions, controls.atom_positions
        assert [(c.x, c.y) for c in first] == [(0, 0), (5, 0), (0, 5)][: len(positions)]
        assert all(a is not b for a, b in zip(first, second))  # elements are copied too
    params = analog.RydbergControlParameters(omega=[2.0, math.nan], delta=[], atom_positions=coords[1:])  # no length check
    assert raw(params.omega) == raw([2.0, math.nan]) and params.delta == [] and params.atom_positions[0].x == 5.0
    gbs = analog.PhotonicGBSParameters([[1.0, 2.0], [3.0]], [0.5])  # ragged: stored as given
    assert (gbs.adjacency_matrix, gbs.phases) == ([[1.0, 2.0], [3.0]], [0.5])


# --- photonic ----------------------------------------------------------------


@pytest.mark.parametrize(
    "names, interactions, adjacency, phases",
    [
        ("abc", [("a", "b", 2.0), ("b", "c", -1.0)], [[0, 2, 0], [2, 0, -1], [0, -1, 0]], [0, 0, 0]),
        ("ab", [("a", "a", 1.0)], [[0, 0], [0, 0]], [0.7853981633974483, 0]),
        ("ab", [("a", "b", 1.0), ("b", "a", 3.0)], [[0, 3], [3, 0]], [0, 0]),
        ("ab", [("a", "z", 1.0), ("z", "z", 1.0)], [[0, 0], [0, 0]], [0, 0]),
        ("", [("a", "b", 1.0)], [], []),
        ("aba", [("a", "b", 4.0), ("a", "a", -1.0)], [[0, 0, 0], [0, 0, 4], [0, 4, 0]], [0, 0, -math.pi / 4]),
    ],
)
def test_photonic_examples(names, interactions, adjacency, phases):
    out = analog.PhotonicCompiler().build_arrazola_bromley_encoding(graph=graph(names, interactions))
    assert out.adjacency_matrix == adjacency and out.phases == phases


@pytest.mark.parametrize("seed", range(10))
def test_photonic_matches_reference_bit_for_bit(seed):
    rng = random.Random(seed)
    pool = [f"q{k}" for k in range(rng.randrange(1, 12))]
    names = [rng.choice(pool) for _ in range(rng.randrange(0, 14))]
    interactions = [(rng.choice(pool + ["ghost"]), rng.choice(pool), rand_double(rng)) for _ in range(rng.randrange(0, 40))]
    out = analog.PhotonicCompiler().build_arrazola_bromley_encoding(graph=graph(names, interactions))
    adjacency, phases = ref.arrazola_bromley_encoding(names, interactions)
    assert [raw(row) for row in out.adjacency_matrix + [out.phases]] == [raw(row) for row in adjacency + [phases]]


# --- calibration corrections -------------------------------------------------


DETUNE, COUPLE, RABI = core.apply_detuning_correction, core.apply_coupling_correction, core.apply_rabi_correction
J01 = [((0, 1), 2.0)]


@pytest.mark.parametrize(
    "fn, args, expected",
    [
        (DETUNE, ([1.0, 2.0, 3.0], [(1, 0.5), (7, 9.0)]), [1.0, 1.5, 3.0]),
        (DETUNE, ([1.0], [(0, 0.25), (0, 0.5)]), [0.5]),  # the last offset wins
        (DETUNE, ([], [(0, 1.0)]), []),
        (COUPLE, (J01, [((0, 1), 0.25)]), [((0, 1), 1.6)]),
        (COUPLE, (J01, [((1, 0), 0.25)]), J01),  # pairs are ordered
        (COUPLE, (J01, [((0, 1), -1.0)]), [((0, 1), 200.0)]),
        (COUPLE, (J01, [((0, 1), math.nan), ((0, 1), 1.0)]), [((0, 1), 1.0)]),
        (COUPLE, ([], [((0, 1), 1.0)]), []),
        (RABI, (1.0, 0.0), 1.0), (RABI, (2.0, 1.0), 1.0), (RABI, (1.0, -2.0), 100.0),
        (RABI, (1.0, math.nan), 100.0), (RABI, (3.0, -0.99), 3.0 / (-0.99 + 1.0)), (RABI, (3.0, -0.995), 300.0),
    ],
)  # fmt: skip
def test_correction_examples(fn, args, expected):
    assert fn(*args) == expected


@pytest.mark.parametrize("seed", range(8))
def test_corrections_match_reference_bit_for_bit(seed):
    rng = random.Random(seed)
    n = rng.randrange(0, 30)
    detunings = [rand_double(rng) for _ in range(n)]
    offsets = [(rng.randrange(0, n + 5), rand_double(rng)) for _ in range(rng.randrange(0, 40))]
    assert raw(DETUNE(detunings=detunings, offsets=offsets)) == raw(ref.apply_detuning_correction(detunings, offsets))
    pairs = [(rng.randrange(4), rng.randrange(4)) for _ in range(12)]
    couplings = [(rng.choice(pairs), rand_double(rng)) for _ in range(rng.randrange(0, 30))]
    errors = [(rng.choice(pairs), rand_double(rng)) for _ in range(rng.randrange(0, 30))]
    got, want = COUPLE(couplings=couplings, errors=errors), ref.apply_coupling_correction(couplings, errors)
    assert [p for p, _ in got] == [p for p, _ in want] and raw([j for _, j in got]) == raw([j for _, j in want])
    values = [(rand_double(rng), rand_double(rng)) for _ in range(50)]
    got = [RABI(rabi_frequency=f, global_rabi_error=e) for f, e in values]
    assert raw(got) == raw([ref.apply_rabi_correction(f, e) for f, e in values])


def test_uncorrected_values_still_go_through_the_arithmetic():
    # A signalling NaN comes back quieted, as from any arithmetic on it.
    assert raw(DETUNE([SNAN], [])) == raw([SNAN - 0.0]) != raw([SNAN])
    assert raw([COUPLE([((0, 1), SNAN)], [])[0][1]]) == raw([SNAN / 1.0]) != raw([SNAN])


def test_no_leak():
    compiler, photonic = analog.NeutralAtomCompiler(), analog.PhotonicCompiler()
    g = graph("abcd", [("a", "b", 1.0), ("c", "c", 0.5), ("a", "x", 2.0)])
    coords = compiler.map_to_spatial_geometry(g)
    assert_no_leak(
        lambda: compiler.generate_rydberg_controls(g, compiler.map_to_spatial_geometry(g)).atom_positions,
        lambda: compiler.generate_rydberg_controls(g, coords + [1]),
        lambda: photonic.build_arrazola_bromley_encoding(g).adjacency_matrix,
        lambda: COUPLE([((0, 1), 2.0)], [((0, 1), 0.5)]),
        lambda: COUPLE([((0, 1), 2.0)], [((0, -1), 0.5)]),
        lambda: DETUNE([1.0, 2.0], [(1, 0.5)]),
    )


@pytest.mark.parametrize("enabled", [True, False])
def test_coupling_correction_leaves_the_garbage_collector_as_it_was(enabled):
    was = gc.isenabled()
    try:
        (gc.enable if enabled else gc.disable)()
        assert COUPLE([((0, 1), 1.0)] * 3000, [((0, 1), 1.0)]) == [((0, 1), 0.5)] * 3000 and gc.isenabled() is enabled
    finally:
        (gc.enable if was else gc.disable)()
