"""Analog compilers, their records, and the calibration corrections, against
the reference models bit for bit."""

import math
import random
import struct

import pytest

from reference import analog as ref
from support import assert_no_leak

import tavik.tavik_core as core

analog, sim = core.analog, core.sim
SPECIALS = [0.0, -0.0, math.nan, math.inf, -math.inf, 5e-324, 1e308, -1.0, -0.99, -1.01, -5.0]


def bits(x):
    return struct.pack("<d", x)


def same_bits(a, b):
    return len(a) == len(b) and all(bits(x) == bits(y) for x, y in zip(a, b))


def graph(names, interactions=()):
    return sim.LogicalGraph([sim.Variable(n, "spin") for n in names], [sim.Interaction(*t) for t in interactions])


def rand_double(rng):
    return rng.choice([rng.uniform(-3, 3), rng.choice(SPECIALS), rng.uniform(-1.2, -0.8)])


# --- neutral atoms -----------------------------------------------------------


@pytest.mark.parametrize(
    "n, expected",
    [
        (0, []),
        (1, [(0, 0)]),
        (2, [(0, 0), (5, 0)]),
        (5, [(0, 0), (5, 0), (10, 0), (0, 5), (5, 5)]),
        (9, [(x, y) for y in (0, 5, 10) for x in (0, 5, 10)]),
        (10, [(0, 0), (5, 0), (10, 0), (15, 0), (0, 5), (5, 5), (10, 5), (15, 5), (0, 10), (5, 10)]),
    ],
)
def test_geometry_examples(n, expected):
    coords = analog.NeutralAtomCompiler().map_to_spatial_geometry(graph([f"v{k}" for k in range(n)]))
    assert [(c.x, c.y) for c in coords] == expected


def test_geometry_matches_reference_and_ignores_names_and_interactions():
    compiler = analog.NeutralAtomCompiler()
    for n in list(range(1, 130)) + [1023, 1024, 1025]:
        g = graph(["same"] * n, [("same", "other", 1.0)])
        got = [(c.x, c.y) for c in compiler.map_to_spatial_geometry(g)]
        assert got == ref.map_to_spatial_geometry(n) and all(type(v) is float for p in got for v in p)


def test_controls_carry_positions_and_fixed_waveforms():
    compiler = analog.NeutralAtomCompiler()
    coords = compiler.map_to_spatial_geometry(graph("abc"))
    controls = compiler.generate_rydberg_controls(graph([]), coords)
    assert controls.omega == [1.0] * 100 and controls.delta == [0.5] * 100
    assert [(c.x, c.y) for c in controls.atom_positions] == [(0, 0), (5, 0), (0, 5)]
    empty = compiler.generate_rydberg_controls(graph("ab"), [])
    assert (len(empty.omega), len(empty.delta), empty.atom_positions) == (100, 100, [])


def test_control_record_stores_values_unchanged_and_hands_out_copies():
    coords = analog.NeutralAtomCompiler().map_to_spatial_geometry(graph("ab"))
    params = analog.RydbergControlParameters(omega=[2.0, math.nan], delta=[], atom_positions=coords)
    assert same_bits(params.omega, [2.0, math.nan]) and params.delta == []
    first, second = params.atom_positions, params.atom_positions
    assert first is not second and all(a is not b for a, b in zip(first, second))
    assert [(c.x, c.y) for c in first] == [(c.x, c.y) for c in second] == [(0, 0), (5, 0)]
    first.clear()
    params.omega.append(1.0)
    assert len(params.atom_positions) == 2 and len(params.omega) == 2


@pytest.mark.parametrize(
    "obj, attr",
    [(analog.RydbergControlParameters([], [], []), a) for a in ("omega", "delta", "atom_positions")]
    + [(analog.PhotonicGBSParameters([], []), a) for a in ("adjacency_matrix", "phases")]
    + [(analog.NeutralAtomCompiler().map_to_spatial_geometry(graph("a"))[0], a) for a in ("x", "y")],
)
def test_analog_record_attributes_are_read_only(obj, attr):
    with pytest.raises(AttributeError):
        setattr(obj, attr, getattr(obj, attr))


@pytest.mark.parametrize("name", ["SpatialCoordinates", "ContinuousFieldIR", "HardwareDeltaModel"])
def test_classes_without_constructor(name):
    cls = getattr(analog, name)
    with pytest.raises(TypeError, match=f"^No constructor defined for {name}$"):
        cls()
    assert cls.__text_signature__ is None


@pytest.mark.parametrize("cls, attr", [(analog.ContinuousFieldIR, "data"), (analog.HardwareDeltaModel, "calibration_data")])
def test_field_records_have_one_writable_list_attribute(cls, attr):
    descriptor = vars(cls)[attr]
    assert [a for a in vars(cls) if not a.startswith("__")] == [attr]
    with pytest.raises(TypeError):  # a writable descriptor, but only for instances of its class
        descriptor.__set__(object(), [1.0])


@pytest.mark.parametrize(
    "call, exc, message",
    [
        (lambda c: c.map_to_spatial_geometry(3), TypeError, "argument 'graph': 'int' object cannot be converted to 'LogicalGraph'"),
        (lambda c: c.generate_rydberg_controls(graph("a"), "ab"), TypeError, "argument 'coords': Can't extract `str` to `Vec`"),
        (lambda c: c.generate_rydberg_controls(graph("a"), [(0.0, 0.0)]), TypeError,
         "argument 'coords': 'tuple' object cannot be converted to 'SpatialCoordinates'"),
        (lambda c: c.map_to_spatial_geometry(graph("a"), 1), TypeError,
         "NeutralAtomCompiler.map_to_spatial_geometry() takes 1 positional arguments but 2 were given"),
    ],
)
def test_neutral_atom_argument_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call(analog.NeutralAtomCompiler())
    assert str(info.value) == message


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
    out = analog.PhotonicCompiler().build_arrazola_bromley_encoding(graph(names, interactions))
    assert out.adjacency_matrix == adjacency and out.phases == phases


@pytest.mark.parametrize("seed", range(10))
def test_photonic_matches_reference_bit_for_bit(seed):
    rng = random.Random(seed)
    pool = [f"q{k}" for k in range(rng.randrange(1, 12))]
    names = [rng.choice(pool) for _ in range(rng.randrange(0, 14))]
    interactions = [(rng.choice(pool + ["ghost"]), rng.choice(pool), rand_double(rng)) for _ in range(rng.randrange(0, 40))]
    out = analog.PhotonicCompiler().build_arrazola_bromley_encoding(graph(names, interactions))
    adjacency, phases = ref.arrazola_bromley_encoding(names, interactions)
    assert len(out.adjacency_matrix) == len(adjacency)
    assert all(same_bits(a, b) for a, b in zip(out.adjacency_matrix, adjacency)) and same_bits(out.phases, phases)


def test_photonic_record_copies():
    params = analog.PhotonicGBSParameters([[1.0, 2.0], [3.0]], [0.5])  # not checked for shape
    rows = params.adjacency_matrix
    rows[0][0] = 9.0
    assert params.adjacency_matrix == [[1.0, 2.0], [3.0]] and params.adjacency_matrix is not rows
    with pytest.raises(TypeError, match="^argument 'adjacency_matrix': Can't extract `str` to `Vec`$"):
        analog.PhotonicGBSParameters(["ab"], [])


# --- calibration corrections -------------------------------------------------


@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda: core.apply_detuning_correction([1.0, 2.0, 3.0], [(1, 0.5), (7, 9.0)]), [1.0, 1.5, 3.0]),
        (lambda: core.apply_detuning_correction([1.0], [(0, 0.25), (0, 0.5)]), [0.5]),
        (lambda: core.apply_detuning_correction([], [(0, 1.0)]), []),
        (lambda: core.apply_coupling_correction([((0, 1), 2.0)], [((0, 1), 0.25)]), [((0, 1), 1.6)]),
        (lambda: core.apply_coupling_correction([((0, 1), 2.0)], [((1, 0), 0.25)]), [((0, 1), 2.0)]),
        (lambda: core.apply_coupling_correction([((0, 1), 2.0)], [((0, 1), -1.0)]), [((0, 1), 200.0)]),
        (lambda: core.apply_coupling_correction([((0, 1), 2.0)], [((0, 1), -5.0)]), [((0, 1), 200.0)]),
        (lambda: core.apply_coupling_correction([((0, 1), 2.0)], [((0, 1), math.nan), ((0, 1), 1.0)]), [((0, 1), 1.0)]),
        (lambda: core.apply_coupling_correction([], [((0, 1), 1.0)]), []),
        (lambda: core.apply_rabi_correction(1.0, 0.0), 1.0),
        (lambda: core.apply_rabi_correction(2.0, 1.0), 1.0),
        (lambda: core.apply_rabi_correction(1.0, -2.0), 100.0),
        (lambda: core.apply_rabi_correction(1.0, math.nan), 100.0),
        (lambda: core.apply_rabi_correction(rabi_frequency=3, global_rabi_error=-0.99), 3 / (-0.99 + 1.0)),
        (lambda: core.apply_rabi_correction(3.0, -0.995), 300.0),
    ],
)
def test_correction_examples(call, expected):
    assert call() == expected


@pytest.mark.parametrize("seed", range(8))
def test_corrections_match_reference_bit_for_bit(seed):
    rng = random.Random(seed)
    n = rng.randrange(0, 30)
    detunings = [rand_double(rng) for _ in range(n)]
    offsets = [(rng.randrange(0, n + 5), rand_double(rng)) for _ in range(rng.randrange(0, 40))]
    assert same_bits(core.apply_detuning_correction(detunings, offsets), ref.apply_detuning_correction(detunings, offsets))

    pairs = [(rng.randrange(4), rng.randrange(4)) for _ in range(12)]
    couplings = [(rng.choice(pairs), rand_double(rng)) for _ in range(rng.randrange(0, 30))]
    errors = [(rng.choice(pairs), rand_double(rng)) for _ in range(rng.randrange(0, 30))]
    got, want = core.apply_coupling_correction(couplings, errors), ref.apply_coupling_correction(couplings, errors)
    assert [p for p, _ in got] == [p for p, _ in want] and same_bits([j for _, j in got], [j for _, j in want])

    for _ in range(50):
        f, e = rand_double(rng), rand_double(rng)
        assert bits(core.apply_rabi_correction(f, e)) == bits(ref.apply_rabi_correction(f, e))


def test_corrections_keep_signalling_nan_arithmetic_and_leave_arguments_alone():
    # Every value goes through the arithmetic, corrected or not.
    snan = struct.unpack("<d", struct.pack("<Q", 0x7FF0000000000001))[0]
    detunings, couplings = [snan, 1.0], [((0, 1), snan)]
    assert same_bits(core.apply_detuning_correction(detunings, []), ref.apply_detuning_correction(detunings, []))
    assert same_bits([core.apply_coupling_correction(couplings, [])[0][1]], [ref.apply_coupling_correction(couplings, [])[0][1]])
    assert bits(detunings[0]) == bits(snan) and bits(couplings[0][1]) == bits(snan)


@pytest.mark.parametrize(
    "call, exc, message",
    [
        (lambda: core.apply_detuning_correction("1.0", []), TypeError, "argument 'detunings': Can't extract `str` to `Vec`"),
        (lambda: core.apply_detuning_correction([1.0], [(-1, 0.5)]), OverflowError, None),
        (lambda: core.apply_detuning_correction([1.0], [(0,)]), ValueError, "expected tuple of length 2, but got tuple of length 1"),
        (lambda: core.apply_coupling_correction([((0, 1, 2), 1.0)], []), ValueError, "expected tuple of length 2, but got tuple of length 3"),
        (lambda: core.apply_coupling_correction([], [((0, 1), "x")]), TypeError, "argument 'errors': must be real number, not str"),
    ],
)
def test_correction_argument_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    if message is not None:
        assert str(info.value) == message


def test_no_leak():
    compiler, photonic = analog.NeutralAtomCompiler(), analog.PhotonicCompiler()
    g = graph("abcd", [("a", "b", 1.0), ("c", "c", 0.5), ("a", "x", 2.0)])
    coords = compiler.map_to_spatial_geometry(g)
    assert_no_leak(
        lambda: compiler.generate_rydberg_controls(g, compiler.map_to_spatial_geometry(g)).atom_positions,
        lambda: compiler.generate_rydberg_controls(g, coords + [1]),
        lambda: photonic.build_arrazola_bromley_encoding(g).adjacency_matrix,
        lambda: photonic.build_arrazola_bromley_encoding("g"),
        lambda: core.apply_coupling_correction([((0, 1), 2.0)], [((0, 1), 0.5)]),
        lambda: core.apply_coupling_correction([((0, 1), 2.0)], [((0, -1), 0.5)]),
        lambda: core.apply_detuning_correction([1.0, 2.0], [(1, 0.5)]),
        lambda: core.apply_rabi_correction(1.0, "x"),
    )


@pytest.mark.parametrize("enabled", [True, False])
def test_coupling_correction_leaves_the_garbage_collector_as_it_was(enabled):
    import gc

    was = gc.isenabled()
    try:
        (gc.enable if enabled else gc.disable)()
        assert core.apply_coupling_correction([((0, 1), 1.0)] * 3000, [((0, 1), 1.0)]) == [((0, 1), 0.5)] * 3000
        assert gc.isenabled() is enabled
    finally:
        (gc.enable if was else gc.disable)()
