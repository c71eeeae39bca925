"""One leak table: every call runs a few hundred times, failures included, and the interpreter's block count must not
grow. Each topic's rows take the paths of its results, records and refusals (binding, conversion, kernel failure)."""

import math

import numpy as np
import pytest

import tavik.arrays as ta
import tavik.tavik_core as core
from support import Z3, assert_no_leak, graph, records
from tavik._pickling import _rebuild, _state
from test_arrays import LONG_CALLS, NATIVE_REFUSALS
from test_pickling import CORRUPTED

sim, analog, ecc, cutting = core.sim, core.analog, core.ecc, core.cutting
V = sim.Variable("a", "spin")
G = graph("abcd", [("a", "b", 1.0), ("c", "c", 0.5), ("a", "x", 2.0)])
ATOMS, PHOTONS = analog.NeutralAtomCompiler(), analog.PhotonicCompiler()
ASSIGNED = ecc.select_patches([(4, 2.0), (1, 1.5)], 27, 3)
EDGES = [(0, 1, 4.0), (0, 3, 2.0), (2, 3, 5.0)]
DIST = [[0.0, 1.0, 2.0], [1.0, 0.0, 3.0], [2.0, 3.0, 0.0]]
COUNTS = [cutting.SubcircuitSampleCounts(0, "A", {"0": 1, "1": 2}, 3), cutting.SubcircuitSampleCounts(0, "B", {"1": 1}, 1)]
RYDBERG = records()["analog.RydbergControlParameters"]()


class Broken:
    def __index__(self):
        raise TypeError("inner") from KeyError("root")


def solve(confidences, best):
    return repr(core.StackelbergSolver(0.9, 10, 0.5).solve(confidences, best, [1.0, 5.0], [0.1, 0.0], 2.0)[1])


def reconstruct(counts, labels):
    return cutting.reconstruct_expectation(counts, [cutting.SampleCoefficient(0, 0.5)], labels)


LEAKS = {
    "binding and conversion": [
        lambda: core.qubo_energy_spectrum([], 1, 2), lambda: core.qubo_energy_spectrum(qubo=[], n_vars=1, x=1),
        lambda: core.exact_ising_norm(), lambda: core.qubo_energy_spectrum("ab", 1),
        lambda: core.qubo_energy_spectrum([], Broken()), lambda: core.qubo_energy_spectrum([((0, 1, 2), 1.0)], 1),
        lambda: core.qubo_energy_spectrum([((0, 1), "x")], 3), lambda: setattr(V, "name", 3),
        lambda: setattr(V, "name", "b"), lambda: sim.LogicalGraph([V, V], []).variables, lambda: sim.LogicalGraph([1], []),
    ],
    "enumeration and qudit": [
        lambda: core.qubo_energy_spectrum([((0, 1), 1.0), ((1, 1), -1.0)], 3), lambda: core.qubo_energy_spectrum([], 21),
        lambda: core.qubo_energy_spectrum([((0, 9), 1.0)], 1), lambda: core.exact_ising_norm([(0, 1.0)], [((0, 1), 1.0)], 2),
        lambda: core.exact_ising_norm([(3, 1.0)], [], 2), lambda: sim.IsingSimulator().solve_exact(G),
        lambda: sim.IsingSimulator().solve_exact(3), lambda: sim.QuditSimulator(2, 3).simulate(),
        lambda: sim.QuditSimulator(0, 2**60).simulate(), lambda: sim.QuditSimulator(0, 2**59).simulate(),
    ],
    "statevector and noisy runs": [
        lambda: core.run_statevector([("h", [0], []), ("u", [1], [0.1, 0.2, 0.3]), ("cx", [0, 1], [])], 3),
        lambda: core.run_statevector([("x", [5], [])], 2),
        lambda: core.simulate_qubo_runs([((0, 1), 1.0), ((1, 1), -2.0)], [0, 1, 1], 40, 0.3, 5),
        lambda: core.simulate_qubo_runs([((0, 9), 1.0)], [0, 1, 1], 4, 0.3, 5),
        lambda: core.simulate_qubo_runs([], [0, 300], 4, 0.3, 5),
    ],
    "stackelberg": [lambda: solve([0.5, 0.9], [0.0, 0.0]), lambda: solve([0.5, 0.9], [0.0])],
    "analog": [
        lambda: ATOMS.generate_rydberg_controls(G, ATOMS.map_to_spatial_geometry(G)).atom_positions,
        lambda: ATOMS.generate_rydberg_controls(G, [1]), lambda: PHOTONS.build_arrazola_bromley_encoding(G).adjacency_matrix,
        lambda: core.apply_coupling_correction([((0, 1), 2.0)], [((0, 1), 0.5)]),
        lambda: core.apply_coupling_correction([((0, 1), 2.0)], [((0, -1), 0.5)]),
        lambda: core.apply_detuning_correction([1.0, 2.0], [(1, 0.5)]),
    ],
    "ecc": [
        lambda: [getattr(ecc.build_surface_code(3), f) for f in ("x_stabilizers", "logical_z")] + [repr(ASSIGNED[0])],
        lambda: ecc.build_surface_code(2**40), lambda: core.build_ecc_lookup_table(9, Z3),
        lambda: core.build_ecc_lookup_table(27, Z3), lambda: core.build_ecc_lookup_table(9, [[1], [9]]),
        lambda: core.logical_failure_probability(9, Z3, [0, 3, 6], 0.1),
        lambda: core.logical_failure_probability(9, Z3, [0, 30], 0.1),
        lambda: core.qubo_criticality([((0, 1), -2.0), ((1, 1), 1.0)], 3), lambda: core.qubo_criticality([((0, 0), math.nan)], 2),
        lambda: ecc.select_patches([(4, 2.0)], 27, 2**40), lambda: ecc.remap_circuit([("cx", [0, 4]), ("h", [1])], ASSIGNED),
        lambda: ecc.remap_circuit([("cx", [0, 4]), ("h", [1])], [ASSIGNED[0], 5]),
    ],
    "graphs": [
        *[lambda n=n: core.stoer_wagner_bisect(EDGES, n) for n in (4, 1, 3, 2**31)],
        *[lambda e=e: core.stoer_wagner_bisect(e, 2) for e in ([(0, 1, math.nan)], [(0, 1, math.inf)], [(0, 1)])],
        lambda: core.vrp_qubo_terms(DIST, 1.0, 0.5), lambda: core.vrp_qubo_terms([[1.0, 2.0]], 1.0, 1.0),
        lambda: core.vrp_qubo_terms([[1.0, "x"]], 1.0, 1.0), lambda: core.vrp_qubo_terms(DIST, 1.0, None),
    ],
    "reconstruct": [
        lambda: reconstruct(COUNTS, ["A", "B"]), lambda: reconstruct(COUNTS, ["A", "C"]),
        lambda: reconstruct(COUNTS + COUNTS, ["A"]), lambda: reconstruct(COUNTS, [1]),
        lambda: cutting.SubcircuitSampleCounts(1, "lab\u0301", {"00": 1, "01": 2}, 3).counts,
        lambda: cutting.SubcircuitSampleCounts(1, "lab", {"00": -1}, 3),
        lambda: repr(cutting.SubcircuitSampleCounts(1, "lab\u0301", {}, 3)) + repr(cutting.SampleCoefficient(2, 1e-9)),
    ],
    "pickling": [lambda: _rebuild("analog.RydbergControlParameters", _state(RYDBERG)),
                 *[lambda path=path, state=state: _rebuild(path, state) for path, state, *_ in CORRUPTED]],
    "arrays": [*[lambda call=call: call(False) for call in LONG_CALLS.values()], *[row[0] for row in NATIVE_REFUSALS],
               lambda: ta.stoer_wagner_bisect([(0, 1, 1.0), (1, 2, np.nan)], 3)],
}  # fmt: skip


@pytest.mark.parametrize("topic", LEAKS)
def test_no_leak(topic):
    assert_no_leak(*LEAKS[topic], repeat=200 if topic == "arrays" else 500)
