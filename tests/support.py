"""Helpers shared by the test modules."""

import contextlib
import gc
import os
import struct
import subprocess
import sys

import pytest

# The sanitizers make every memory access slower: ThreadSanitizer
# (tools/test_tsan.sh) several times, AddressSanitizer two to three times. An
# emulated CPU (tools/cross_aarch64.sh) says how much slower it is itself.
PRELOADED = os.environ.get("LD_PRELOAD", "")
SLOWDOWN = float(os.environ.get("TAVIK_TEST_SLOWDOWN", 10 if "libtsan" in PRELOADED else 3 if "libasan" in PRELOADED else 1))


@contextlib.contextmanager
def raises_panic(message):
    """Expect the module's internal-failure exception with exactly `message`."""
    with pytest.raises(BaseException) as info:
        yield info
    assert type(info.value).__name__ == "PanicException"
    assert not isinstance(info.value, Exception)
    assert info.value.args == (message,)


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


def output_on_cpus(count, module, function, preload=None):
    """What `module.function()` prints as a repr in a fresh interpreter whose
    pool was made for `count` CPUs: the first `count` this process may use,
    or every one with the eight-CPU shim `preload`ed."""
    cpus = sorted(os.sched_getaffinity(0))
    if len(cpus) < count:
        pytest.skip(f"{len(cpus)} CPU(s) available")
    code = (f"import os, sys\nos.sched_setaffinity(0, {set(cpus[:count])!r})\n"
            f"sys.path.insert(0, {os.path.dirname(__file__)!r})\n"
            f"import {module}\nprint(repr({module}.{function}()))")
    env = dict(os.environ)
    if preload is not None:
        env["LD_PRELOAD"] = f"{env.get('LD_PRELOAD', '')} {preload}"
    result = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, timeout=300)
    assert (result.returncode, result.stderr) == (0, "")
    return result.stdout.strip()


def bits(value):
    """A value with every float replaced by its exact hex form, so that == is
    a bit-for-bit comparison (signed zeros distinguished, NaN equal to NaN).
    A NaN is written as its 64 bits: its hex form would hide its sign."""
    if isinstance(value, float):
        return value.hex() if value == value else "nan:" + struct.pack(">d", value).hex()
    if isinstance(value, (list, tuple)):
        return type(value)(bits(v) for v in value)
    if isinstance(value, dict):
        return {bits(k): bits(v) for k, v in value.items()}
    return value


def _core():
    import tavik.tavik_core as core

    return core


# The module's record classes: submodule ("" for the top level), constructor
# signature (None: no constructor), attributes in declaration order, whether
# they are writable, and a factory for a valid instance (None: the module
# offers no way to make one).
def record_classes():
    core = _core()
    sim, analog, ecc, cutting = core.sim, core.analog, core.ecc, core.cutting
    graph = lambda: sim.LogicalGraph([sim.Variable("a", "spin"), sim.Variable("b", "spin")], [sim.Interaction("a", "b", 1.0)])  # noqa: E731
    return {
        "StackelbergSolver": ("", "(target_kappa, max_iterations, learning_rate)",
                              ["target_kappa", "max_iterations", "learning_rate"], False,
                              lambda: core.StackelbergSolver(0.9, 10, 0.5)),
        "EquilibriumScore": ("", None, ["kappa", "confidence", "energy_gap", "iterations", "kappa_std"], False,
                             lambda: core.StackelbergSolver(0.9, 10, 0.5).solve([0.5], [0.0], [1.0], [0.1], 2.0)[1]),
        "IsingSimulator": ("sim", "()", [], False, lambda: sim.IsingSimulator()),
        "LogicalGraph": ("sim", "(variables, interactions)", ["variables", "interactions"], True, graph),
        "Variable": ("sim", "(name, domain)", ["name", "domain"], True, lambda: sim.Variable("a", "spin")),
        "Interaction": ("sim", "(i, j, weight)", ["i", "j", "weight"], True, lambda: sim.Interaction("a", "b", -1.0)),
        "QuditSimulator": ("sim", "(levels, num_sites)", [], False, lambda: sim.QuditSimulator(3, 4)),
        "ContinuousFieldIR": ("analog", None, ["data"], True, None),
        "HardwareDeltaModel": ("analog", None, ["calibration_data"], True, None),
        "RydbergControlParameters": ("analog", "(omega, delta, atom_positions)", ["omega", "delta", "atom_positions"],
                                     False, lambda: analog.RydbergControlParameters([1.0], [0.5], [])),
        "SpatialCoordinates": ("analog", None, ["x", "y"], False,
                               lambda: analog.NeutralAtomCompiler().map_to_spatial_geometry(graph())[0]),
        "NeutralAtomCompiler": ("analog", "()", [], False, lambda: analog.NeutralAtomCompiler()),
        "PhotonicGBSParameters": ("analog", "(adjacency_matrix, phases)", ["adjacency_matrix", "phases"], False,
                                  lambda: analog.PhotonicGBSParameters([[0.0, 1.0], [1.0, 0.0]], [0.0, 0.5])),
        "PhotonicCompiler": ("analog", "()", [], False, lambda: analog.PhotonicCompiler()),
        "SurfaceCodePatch": ("ecc", None, ["distance", "data_qubits", "x_stabilizers", "z_stabilizers", "logical_x",
                                           "logical_z"], False, lambda: ecc.build_surface_code(3)),
        "PatchAssignment": ("ecc", None, ["logical_var", "distance", "physical_start", "physical_end"], False,
                            lambda: ecc.select_patches([(4, 2.0)], 9, 3)[0]),
        "SubcircuitSampleCounts": ("cutting", "(sample_index, subcircuit_label, counts, shots)",
                                   ["sample_index", "subcircuit_label", "counts", "shots"], False,
                                   lambda: cutting.SubcircuitSampleCounts(0, "A", {"0": 3, "1": 1}, 4)),
        "SampleCoefficient": ("cutting", "(sample_index, coefficient)", ["sample_index", "coefficient"], False,
                              lambda: cutting.SampleCoefficient(0, 0.5)),
    }  # fmt: skip


def class_object(name):
    module = record_classes()[name][0]
    core = _core()
    return getattr(getattr(core, module) if module else core, name)
