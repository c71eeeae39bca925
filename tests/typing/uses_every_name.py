# pyright: strict
"""Uses every public name of tavik.tavik_core with the types its stubs promise.

Type-checked under mypy --strict and pyright (strict) and also run, so a stub that drifts from
the module fails one or the other. Every function is called, every class built (or obtained
from the call that makes it), every attribute read (and written where writable), every
method called, and every result stored in a variable of its exact type.
"""

from collections.abc import Sequence

import tavik
import tavik.exceptions
import tavik.tavik_core as core
from tavik.tavik_core import analog, cutting, ecc, sim

version: str = tavik.__version__
size_violation: type[ValueError] = tavik.exceptions.SizeViolation
panic: type[BaseException] = tavik.exceptions.PanicException
try:
    core.qubo_energy_spectrum([((0, 3), 1.0)], 2)
except tavik.exceptions.PanicException as exc:
    panic_message: str = str(exc)

qubo: list[tuple[tuple[int, int], float]] = [((0, 0), -1.0), ((1, 1), -1.0), ((0, 1), 2.0)]

# Top-level functions.
spectrum: tuple[list[int], float, list[float]] = core.qubo_energy_spectrum(qubo, 2)
norm: float = core.exact_ising_norm([(0, 0.5)], [((0, 1), 1.0)], n_sites=2)
state: list[tuple[float, float]] = core.run_statevector([("h", [0], []), ("rx", (1,), [0.5])], 2)
runs: tuple[list[list[int]], list[float]] = core.simulate_qubo_runs(qubo, [1, 0], 3, 0.1, seed=7)
vrp: dict[tuple[str, str], float] = core.vrp_qubo_terms([[0.0, 1.0], [1.0, 0.0]], 10.0, 1.0)
ranking: list[tuple[int, float]] = core.qubo_criticality(qubo, 2)
cut: tuple[float, list[int]] = core.stoer_wagner_bisect([(0, 1, 4.0), (1, 2, 1.0)], 3)
detunings: list[float] = core.apply_detuning_correction([1.0, 2.0], [(1, 0.5)])
couplings: list[tuple[tuple[int, int], float]] = core.apply_coupling_correction([((0, 1), 2.0)], [((0, 1), 0.25)])
rabi: float = core.apply_rabi_correction(1.0, 0)

# Error correction.
patch: ecc.SurfaceCodePatch = ecc.build_surface_code()
patch = core.ecc.build_surface_code(distance=3)
patch_fields: tuple[int, list[int], list[list[int]], list[list[int]], list[int], list[int]] = (
    patch.distance, patch.data_qubits, patch.x_stabilizers, patch.z_stabilizers, patch.logical_x, patch.logical_z)
table: list[tuple[list[int], list[int]]] = core.build_ecc_lookup_table(len(patch.data_qubits), patch.z_stabilizers)
p_fail: float = core.logical_failure_probability(len(patch.data_qubits), patch.z_stabilizers, patch.logical_z, 0.01)
patches: list[ecc.PatchAssignment] = ecc.select_patches(ranking, 20, 3)
first: core.ecc.PatchAssignment = patches[0]
block: tuple[int, int, int, int] = (first.logical_var, first.distance, first.physical_start, first.physical_end)
circuit: list[tuple[str, list[int]]] = ecc.remap_circuit([("cx", [0, 1])], patches)

# Co-design solver.
solver = core.StackelbergSolver(target_kappa=0.9, max_iterations=10, learning_rate=0.5)
settings: tuple[float, int, float] = (solver.target_kappa, solver.max_iterations, solver.learning_rate)
solved: tuple[float, core.EquilibriumScore] = solver.solve([0.5, 0.9], [0.0, 0.0], [1.0, 5.0], [0.1, 0.0], 2.0)
score = solved[1]
kappas: tuple[float, float, float, int, float] = (score.kappa, score.confidence, score.energy_gap, score.iterations,
                                                  score.kappa_std)

# Logical graphs and the simulators.
variables: list[sim.Variable] = [sim.Variable("a", "spin"), core.sim.Variable(name="b", domain="spin")]
interaction = sim.Interaction("a", "b", 1)
interaction.i, interaction.j, interaction.weight = "b", "a", 2
pair: tuple[str, str, float] = (interaction.i, interaction.j, interaction.weight)
graph = sim.LogicalGraph(variables, (interaction,))
graph.variables = tuple(graph.variables)
graph.interactions = [*graph.interactions, sim.Interaction("a", "a", -0.5)]
variable: sim.Variable = graph.variables[0]
variable.name, variable.domain = "c", "binary"
names: list[str] = [v.name + v.domain for v in graph.variables]
weights: list[float] = [i.weight for i in graph.interactions]
spins: list[int] = sim.IsingSimulator().solve_exact(graph)
zeros: list[float] = sim.QuditSimulator(levels=3, num_sites=4).simulate()

# Analog compilation.
neutral_atoms = analog.NeutralAtomCompiler()
coords: list[analog.SpatialCoordinates] = neutral_atoms.map_to_spatial_geometry(graph)
xy: list[tuple[float, float]] = [(c.x, c.y) for c in coords]
controls: analog.RydbergControlParameters = neutral_atoms.generate_rydberg_controls(graph, coords)
controls = analog.RydbergControlParameters(controls.omega, controls.delta, controls.atom_positions)
gbs: analog.PhotonicGBSParameters = analog.PhotonicCompiler().build_arrazola_bromley_encoding(graph)
gbs = analog.PhotonicGBSParameters(gbs.adjacency_matrix, phases=gbs.phases)
matrix: list[list[float]] = gbs.adjacency_matrix


def recalibrate(field: analog.ContinuousFieldIR, deltas: analog.HardwareDeltaModel) -> list[float]:
    """The two analog IR records have no constructor; only their attributes can be used."""
    field.data = [*field.data, 1]
    deltas.calibration_data = field.data
    return deltas.calibration_data


# Circuit cutting.
histograms: Sequence[cutting.SubcircuitSampleCounts] = [cutting.SubcircuitSampleCounts(0, "A", {"0": 60, "1": 40}, 100)]
histogram = histograms[0]
fields: tuple[int, str, dict[str, int], int] = (histogram.sample_index, histogram.subcircuit_label, histogram.counts,
                                                histogram.shots)
coefficient = core.cutting.SampleCoefficient(sample_index=0, coefficient=2.0)
sample: tuple[int, float] = (coefficient.sample_index, coefficient.coefficient)
expectation: float = cutting.reconstruct_expectation(histograms, [coefficient], ("A",))

exported: list[str] = core.__all__ + sim.__all__ + analog.__all__ + ecc.__all__ + cutting.__all__
