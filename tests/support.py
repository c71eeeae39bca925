"""Helpers shared by the test modules."""

import gc
import math
import os
import struct
import subprocess
import sys
import textwrap

import pytest

# The sanitizers make every memory access slower: ThreadSanitizer
# (tools/test_tsan.sh) several times, AddressSanitizer two to three times. An
# emulated CPU (tools/cross_aarch64.sh) says how much slower it is itself.
PRELOADED = os.environ.get("LD_PRELOAD", "")
SLOWDOWN = float(os.environ.get("TAVIK_TEST_SLOWDOWN", 10 if "libtsan" in PRELOADED else 3 if "libasan" in PRELOADED else 1))


def assert_no_leak(*calls, repeat=2000, slack=64):
    """Run each call `repeat` times (failures included) and check that the
    interpreter's allocated block count does not grow."""

    def run_all():
        for call in calls:
            try:
                call()
            except BaseException:  # noqa: BLE001 - failing calls are part of the check
                pass

    for _ in range(50):
        run_all()
    gc.collect()
    before = sys.getallocatedblocks()
    for _ in range(repeat):
        run_all()
    gc.collect()
    grown = sys.getallocatedblocks() - before
    assert grown < slack, f"{grown} blocks still allocated after {repeat} rounds"


def run_child(code, cpus=None, preload=None, env=(), timeout=120):
    """`code` run in a fresh interpreter that may use only the first `cpus` CPUs of this process (all if None), with
    `preload` added to LD_PRELOAD (the eight-CPU shim of conftest.py) and `env` added to the environment. The test
    modules' directory is on its path; `code` may be indented."""
    mine = sorted(os.sched_getaffinity(0))
    if len(mine) < (cpus or 0):
        pytest.skip(f"{len(mine)} CPU(s) available")
    prefix = f"import os, sys\nsys.path.insert(0, {os.path.dirname(__file__)!r})\n"
    if cpus:
        prefix += f"os.sched_setaffinity(0, {set(mine[:cpus])!r})\n"
    environ = os.environ | dict(env)
    if preload is not None:
        environ["LD_PRELOAD"] = f"{environ.get('LD_PRELOAD', '')} {preload}"
    return subprocess.run([sys.executable, "-c", prefix + textwrap.dedent(code)], env=environ, capture_output=True, text=True,
                          timeout=timeout)  # fmt: skip


def bits(value):
    """A value with every float replaced by its exact hex form, so that == is a bit-for-bit comparison (signed zeros
    distinguished, NaN equal to NaN). A NaN is written as its 64 bits: its hex form would hide its sign."""
    if isinstance(value, float):
        return value.hex() if value == value else "nan:" + struct.pack(">d", value).hex()
    if isinstance(value, (list, tuple)):
        return type(value)(bits(v) for v in value)
    if isinstance(value, dict):
        return {bits(k): bits(v) for k, v in value.items()}
    return value


def core_classes():
    """Every class of the module by its path: "EquilibriumScore", "sim.Variable"."""
    import tavik.tavik_core as core

    found = {}
    for name in core.__all__:
        value = getattr(core, name)
        members = [(f"{name}.{n}", getattr(value, n)) for n in value.__all__] if name in SUBMODULES else [(name, value)]
        found.update((path, v) for path, v in members if isinstance(v, type))
    return found


SUBMODULES = ["sim", "analog", "ecc", "cutting"]


def records():
    """One instance of every record class, and a few more for edge values, made as users get them: constructed or
    returned by a function. The two analog IR records have no maker in the module: a pickle is the only way to one.
    Keys are "path" or "path, what is special"."""
    import tavik.tavik_core as core
    from tavik._pickling import _rebuild

    sim, analog, ecc, cutting, nan = core.sim, core.analog, core.ecc, core.cutting, float("nan")

    def graph(n=3):
        names = [f"v{k}" for k in range(n)]
        return sim.LogicalGraph([sim.Variable(v, "spin") for v in names],
                                [sim.Interaction(names[0], names[-1], -1.5), sim.Interaction(names[0], names[0], 0.5)])

    def solve(*lists):
        return core.StackelbergSolver(0.9, 10, 0.5).solve(*lists, 2.0)[1]

    return {
        "StackelbergSolver": lambda: core.StackelbergSolver(0.9, 2**64 - 1, -0.5),
        "EquilibriumScore": lambda: solve([0.5, 0.9], [0.0, 0.0], [1.0, 5.0], [0.1, 0.0]),
        "EquilibriumScore, NaN κ": lambda: solve([nan], [0.0], [1.0], [0.1]),
        "sim.IsingSimulator": sim.IsingSimulator,
        "sim.LogicalGraph": graph,
        "sim.Variable": lambda: sim.Variable("κ\x00name", ""),
        "sim.Interaction": lambda: sim.Interaction("a", "b", -0.0),
        "sim.QuditSimulator": lambda: sim.QuditSimulator(3, 4),
        "analog.ContinuousFieldIR": lambda: _rebuild("analog.ContinuousFieldIR", ([1.5, -0.0, nan],)),
        "analog.HardwareDeltaModel": lambda: _rebuild("analog.HardwareDeltaModel", ([],)),
        "analog.RydbergControlParameters": lambda: analog.NeutralAtomCompiler().generate_rydberg_controls(
            graph(), analog.NeutralAtomCompiler().map_to_spatial_geometry(graph(5))),
        "analog.SpatialCoordinates": lambda: analog.NeutralAtomCompiler().map_to_spatial_geometry(graph(5))[4],
        "analog.NeutralAtomCompiler": analog.NeutralAtomCompiler,
        "analog.PhotonicGBSParameters": lambda: analog.PhotonicCompiler().build_arrazola_bromley_encoding(graph()),
        "analog.PhotonicCompiler": analog.PhotonicCompiler,
        "ecc.SurfaceCodePatch": lambda: ecc.build_surface_code(4),
        "ecc.SurfaceCodePatch, distance 0": lambda: ecc.build_surface_code(0),
        "ecc.PatchAssignment": lambda: ecc.select_patches([(4, 2.0), (7, 1.0)], 18, 3)[1],
        "cutting.SubcircuitSampleCounts": lambda: cutting.SubcircuitSampleCounts(2, "B", {"10": 2**64 - 1, "01": 0}, 5),
        "cutting.SampleCoefficient": lambda: cutting.SampleCoefficient(1, -0.25),
    }  # fmt: skip


# The record classes whose attributes may be assigned.
WRITABLE = {"sim.LogicalGraph", "sim.Variable", "sim.Interaction", "analog.ContinuousFieldIR",
            "analog.HardwareDeltaModel"}  # fmt: skip


def graph(names, interactions=()):
    """A LogicalGraph of spin variables named `names` and (i, j, weight) interactions."""
    from tavik.tavik_core import sim

    return sim.LogicalGraph([sim.Variable(n, "spin") for n in names], [sim.Interaction(*t) for t in interactions])


# Doubles that tell arithmetic orders apart, a signalling NaN among them (quieted by any arithmetic).
SNAN = struct.unpack("<d", struct.pack("<Q", 0x7FF0000000000001))[0]
SPECIALS = [0.0, -0.0, math.nan, -math.nan, SNAN, math.inf, -math.inf, 5e-324, 1e308, -1.0, -0.99, -1.01, -5.0]


def rand_double(rng):
    return rng.choice([rng.uniform(-3, 3), rng.choice(SPECIALS), rng.uniform(-1.2, -0.8)])


# The distance-3 patch's X and Z stabilizers and its logical Z.
X3 = [[0, 3], [1, 4, 2, 5], [3, 6, 4, 7], [5, 8]]
Z3 = [[1, 2], [0, 3, 1, 4], [4, 7, 5, 8], [6, 7]]
LZ3 = [0, 3, 6]


def patch_records(assignments):
    return [(a.logical_var, a.distance, a.physical_start, a.physical_end) for a in assignments]


WEIGHTS = [0.0, -0.0, 1.0, -2.5, 1e-10, 0.1, 0.2, 0.3, 1e300, -1e300, -1e-300, math.inf, -math.inf, math.nan]


def random_terms(rng, n, count, special=0.05):
    """QUBO terms with repeats, both orientations and linear terms; a fraction `special` of
    the weights tell summation orders apart (signed zeros, huge, infinite, NaN)."""
    terms = []
    for _ in range(count):
        i, j = rng.randrange(n), rng.randrange(n)
        w = rng.choice(WEIGHTS) if rng.random() < special else rng.uniform(-3, 3)
        terms.append(((i, i if rng.random() < 0.2 else j), w))
        if rng.random() < 0.15:
            terms.append(((j, i), w))  # the reverse orientation counts again
    return terms
