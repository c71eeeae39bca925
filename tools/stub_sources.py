"""What the type stubs say that the installed modules cannot: read by tools/gen_stubs.py.

The modules give the stubs their names and order, parameter names and defaults, and every
docstring. A text signature carries names only, so the annotations live here, in TYPES,
keyed by the name a user writes; editors show stub docstrings, so NOTES holds what the stubs
tell beyond a runtime docstring that the module's fixed surface keeps shorter (units, errors,
edge cases), and MODULES the text of each stub outside its names: the module docstring (the
runtime ones are empty), imports, and the private aliases the annotations use.

Every entry must name something the module has, and every parameter, return and attribute
must have an annotation: gen_stubs.py refuses to write stubs otherwise.
"""

from dataclasses import dataclass, field


@dataclass(frozen=True)
class Sig:
    """Annotations of a callable: its return and each parameter by name (without self)."""

    returns: str
    parameters: dict[str, str] = field(default_factory=dict)


def sig(returns: str = "Self", /, **parameters: str) -> Sig:
    """A function's or method's annotations; a class's constructor returns Self."""
    return Sig(returns, parameters)


@dataclass(frozen=True)
class Settable:
    """An attribute users may assign: a plain attribute when the setter takes exactly what
    the getter returns, otherwise a property whose setter takes ``accepts``."""

    type: str
    accepts: str | None = None


# An attribute given as a plain string is read-only (a property without setter).
Annotation = Sig | Settable | str

# A note is appended to the runtime docstring as a paragraph of its own, or, as an
# (old, new) pair, replaces a sentence of it that is wrong and that the module's fixed
# surface keeps: gen_stubs.py fails if that sentence is no longer there, so the note is
# revisited when the module's text changes.
Note = str | tuple[str, str]


@dataclass(frozen=True)
class Module:
    """A stub file's own text: its docstring, its imports (before ``__all__``) and its
    private definitions (after it)."""

    path: str
    doc: str
    imports: str
    definitions: str = ""


MODULES: dict[str, Module] = {
    "tavik_core": Module(
        "python/tavik/tavik_core.pyi",
        doc="""\
Native core of tavik: exact enumeration, simulation, error-correction and analog kernels.

``sim``, ``analog``, ``ecc`` and ``cutting`` are attributes of the extension module, not
importable modules: write ``core.sim.Variable`` or ``from tavik.tavik_core import sim``
(``import tavik.tavik_core.sim`` fails). Their stubs are the private ``tavik._core_<name>``
stub files, which exist for type checkers only.

Conventions shared by every routine:

- A QUBO is a list of ``((i, j), w)`` terms: ``i == j`` is the linear term ``w·x_i``,
  ``i != j`` the quadratic term ``w·x_i·x_j``, x in {0, 1}; duplicates and both orientations
  of a pair all count. Lower energy is better.
- Assignment index: variable (site, qubit) k is bit k of the index, least significant first;
  in spin form a set bit is +1 and a clear bit -1. Exhaustive kernels walk the index upwards
  and ties keep the lowest index.
- Lists are any sequence except ``str``; fixed tuples must be real tuples; counts and indices
  are non-negative ints (anything with ``__index__``), reals anything ``float()`` accepts
  except strings. Results are always new objects; arguments are never modified.
- Errors: conversion failures are ``TypeError`` (prefixed ``"argument '<name>': "``),
  ``ValueError`` or ``OverflowError``; problems past a size limit raise
  :class:`tavik.exceptions.SizeViolation`; an index out of range inside a kernel (or another
  broken internal invariant) raises ``PanicException``, a ``BaseException`` subclass that
  ``except Exception`` does not catch.
""",
        imports="""\
from collections.abc import Sequence
from typing import Never, Self, SupportsFloat, SupportsIndex, TypeAlias, final
""",
        definitions="""\
# What the float conversion takes: float, int, and anything with __float__ or __index__.
_Float: TypeAlias = SupportsFloat | SupportsIndex
# ((i, j), w): one term of a QUBO (or of a quadratic Ising error) term list.
_Term: TypeAlias = tuple[tuple[SupportsIndex, SupportsIndex], _Float]
""",
    ),
    "tavik_core.sim": Module(
        "python/tavik/_core_sim.pyi",
        doc="""\
Logical Ising graphs, the exact Ising solver and the qudit simulator placeholder.

Stubs of ``tavik.tavik_core.sim``, an attribute of the extension module and not an importable
module: use ``core.sim`` or ``from tavik.tavik_core import sim``.
""",
        imports="""\
from collections.abc import Sequence
from typing import Self, SupportsIndex, final

from .tavik_core import _Float
""",
    ),
    "tavik_core.analog": Module(
        "python/tavik/_core_analog.pyi",
        doc="""\
Analog compilation: neutral-atom and photonic compilers and their records.

Stubs of ``tavik.tavik_core.analog``, an attribute of the extension module and not an
importable module: use ``core.analog`` or ``from tavik.tavik_core import analog``. The
calibration corrections (``apply_*_correction``) are top-level functions of
:mod:`tavik.tavik_core`.
""",
        imports="""\
from collections.abc import Sequence
from typing import Never, Self, final

from .tavik_core import _Float
from ._core_sim import LogicalGraph
""",
    ),
    "tavik_core.ecc": Module(
        "python/tavik/_core_ecc.pyi",
        doc="""\
Surface-code error correction: patches, patch budgeting and circuit remapping.

Stubs of ``tavik.tavik_core.ecc``, an attribute of the extension module and not an importable
module: use ``core.ecc`` or ``from tavik.tavik_core import ecc``. The decoder table and the
logical failure probability are top-level functions of :mod:`tavik.tavik_core`.
""",
        imports="""\
from collections.abc import Sequence
from typing import Never, Self, SupportsIndex, final

from .tavik_core import _Float
""",
    ),
    "tavik_core.cutting": Module(
        "python/tavik/_core_cutting.pyi",
        doc="""\
Circuit cutting: reconstruct an expectation value from sub-circuit measurement counts.

Stubs of ``tavik.tavik_core.cutting``, an attribute of the extension module and not an
importable module: use ``core.cutting`` or ``from tavik.tavik_core import cutting``.
""",
        imports="""\
from collections.abc import Iterator, Sequence
from typing import Any, Protocol, Self, SupportsIndex, TypeVar, final, overload, type_check_only

from .tavik_core import _Float
""",
        definitions="""\
_T_co = TypeVar("_T_co", covariant=True)

# A sequence that is not a str: the module refuses a str where it expects a list of strings,
# and str.__contains__ only takes str where this takes any object.
@type_check_only
class _SequenceNotStr(Protocol[_T_co]):
    @overload
    def __getitem__(self, index: SupportsIndex, /) -> _T_co: ...
    @overload
    def __getitem__(self, index: slice, /) -> Sequence[_T_co]: ...
    def __contains__(self, value: object, /) -> bool: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[_T_co]: ...
    def index(self, value: Any, start: int = 0, stop: int = ..., /) -> int: ...
    def count(self, value: Any, /) -> int: ...
    def __reversed__(self) -> Iterator[_T_co]: ...
""",
    ),
    "_arrays": Module(
        "python/tavik/_arrays.pyi",
        doc="""\
The native array face: private, called only by tavik.arrays, tavik.qubo and tavik.circuits, which check and
normalise every argument first.
""",
        imports="""\
from typing import Any

import numpy.typing as npt
""",
        definitions="""\
# Arrays the typed layer made: C-contiguous, of the dtype the kernel reads.
_Array = npt.NDArray[Any]
# A result made by the call: its bytes through the buffer protocol, for numpy.frombuffer.
_Block = Any
""",
    ),
}

TYPES: dict[str, dict[str, Annotation]] = {
    "tavik_core": {
        "StackelbergSolver": sig(target_kappa="_Float", max_iterations="SupportsIndex", learning_rate="_Float"),
        "StackelbergSolver.solve": sig(
            "tuple[float, EquilibriumScore]",
            confidences="Sequence[_Float]",
            best_energies="Sequence[_Float]",
            second_best_energies="Sequence[_Float]",
            chain_break_fractions="Sequence[_Float]",
            current_chain_strength="_Float",
        ),
        "StackelbergSolver.target_kappa": "float",
        "StackelbergSolver.max_iterations": "int",
        "StackelbergSolver.learning_rate": "float",
        "EquilibriumScore.kappa": "float",
        "EquilibriumScore.confidence": "float",
        "EquilibriumScore.energy_gap": "float",
        "EquilibriumScore.iterations": "int",
        "EquilibriumScore.kappa_std": "float",
        "apply_detuning_correction": sig(
            "list[float]", detunings="Sequence[_Float]", offsets="Sequence[tuple[SupportsIndex, _Float]]"
        ),
        "apply_coupling_correction": sig(
            "list[tuple[tuple[int, int], float]]", couplings="Sequence[_Term]", errors="Sequence[_Term]"
        ),
        "apply_rabi_correction": sig("float", rabi_frequency="_Float", global_rabi_error="_Float"),
        "qubo_criticality": sig("list[tuple[int, float]]", qubo="Sequence[_Term]", n_vars="SupportsIndex"),
        "exact_ising_norm": sig(
            "float", dh="Sequence[tuple[SupportsIndex, _Float]]", dj="Sequence[_Term]", n_sites="SupportsIndex"
        ),
        "qubo_energy_spectrum": sig(
            "tuple[list[int], float, list[float]]", qubo="Sequence[_Term]", n_vars="SupportsIndex"
        ),
        "run_statevector": sig(
            "list[tuple[float, float]]",
            instructions="Sequence[tuple[str, Sequence[SupportsIndex], Sequence[_Float]]]",
            n_qubits="SupportsIndex",
        ),
        "simulate_qubo_runs": sig(
            "tuple[list[list[int]], list[float]]",
            qubo="Sequence[_Term]",
            base_bits="Sequence[SupportsIndex]",
            n_runs="SupportsIndex",
            noise_level="_Float",
            seed="SupportsIndex",
        ),
        "vrp_qubo_terms": sig(
            "dict[tuple[str, str], float]", dist="Sequence[Sequence[_Float]]", penalty_a="_Float", penalty_b="_Float"
        ),
        "build_ecc_lookup_table": sig(
            "list[tuple[list[int], list[int]]]",
            n_data="SupportsIndex",
            z_stabilizers="Sequence[Sequence[SupportsIndex]]",
        ),
        "logical_failure_probability": sig(
            "float",
            n_data="SupportsIndex",
            z_stabilizers="Sequence[Sequence[SupportsIndex]]",
            logical_z="Sequence[SupportsIndex]",
            physical_error_rate="_Float",
        ),
        "stoer_wagner_bisect": sig(
            "tuple[float, list[int]]",
            edges="Sequence[tuple[SupportsIndex, SupportsIndex, _Float]]",
            n_nodes="SupportsIndex",
        ),
    },
    "tavik_core.sim": {
        "IsingSimulator.solve_exact": sig("list[int]", graph="LogicalGraph"),
        "LogicalGraph": sig(variables="Sequence[Variable]", interactions="Sequence[Interaction]"),
        "LogicalGraph.variables": Settable("list[Variable]", accepts="Sequence[Variable]"),
        "LogicalGraph.interactions": Settable("list[Interaction]", accepts="Sequence[Interaction]"),
        "Variable": sig(name="str", domain="str"),
        "Variable.name": Settable("str"),
        "Variable.domain": Settable("str"),
        "Interaction": sig(i="str", j="str", weight="_Float"),
        "Interaction.i": Settable("str"),
        "Interaction.j": Settable("str"),
        "Interaction.weight": Settable("float", accepts="_Float"),
        "QuditSimulator": sig(levels="SupportsIndex", num_sites="SupportsIndex"),
        "QuditSimulator.simulate": sig("list[float]"),
    },
    "tavik_core.analog": {
        "ContinuousFieldIR.data": Settable("list[float]", accepts="Sequence[_Float]"),
        "HardwareDeltaModel.calibration_data": Settable("list[float]", accepts="Sequence[_Float]"),
        "RydbergControlParameters": sig(
            omega="Sequence[_Float]", delta="Sequence[_Float]", atom_positions="Sequence[SpatialCoordinates]"
        ),
        "RydbergControlParameters.omega": "list[float]",
        "RydbergControlParameters.delta": "list[float]",
        "RydbergControlParameters.atom_positions": "list[SpatialCoordinates]",
        "SpatialCoordinates.x": "float",
        "SpatialCoordinates.y": "float",
        "NeutralAtomCompiler.map_to_spatial_geometry": sig("list[SpatialCoordinates]", graph="LogicalGraph"),
        "NeutralAtomCompiler.generate_rydberg_controls": sig(
            "RydbergControlParameters", graph="LogicalGraph", coords="Sequence[SpatialCoordinates]"
        ),
        "PhotonicGBSParameters": sig(adjacency_matrix="Sequence[Sequence[_Float]]", phases="Sequence[_Float]"),
        "PhotonicGBSParameters.adjacency_matrix": "list[list[float]]",
        "PhotonicGBSParameters.phases": "list[float]",
        "PhotonicCompiler.build_arrazola_bromley_encoding": sig("PhotonicGBSParameters", graph="LogicalGraph"),
    },
    "tavik_core.ecc": {
        "SurfaceCodePatch.distance": "int",
        "SurfaceCodePatch.data_qubits": "list[int]",
        "SurfaceCodePatch.x_stabilizers": "list[list[int]]",
        "SurfaceCodePatch.z_stabilizers": "list[list[int]]",
        "SurfaceCodePatch.logical_x": "list[int]",
        "SurfaceCodePatch.logical_z": "list[int]",
        "build_surface_code": sig("SurfaceCodePatch", distance="SupportsIndex"),
        "PatchAssignment.logical_var": "int",
        "PatchAssignment.distance": "int",
        "PatchAssignment.physical_start": "int",
        "PatchAssignment.physical_end": "int",
        "select_patches": sig(
            "list[PatchAssignment]",
            ranked="Sequence[tuple[SupportsIndex, _Float]]",
            physical_qubit_budget="SupportsIndex",
            distance="SupportsIndex",
        ),
        "remap_circuit": sig(
            "list[tuple[str, list[int]]]",
            circuit="Sequence[tuple[str, Sequence[SupportsIndex]]]",
            assignments="Sequence[PatchAssignment]",
        ),
    },
    "tavik_core.cutting": {
        "SubcircuitSampleCounts": sig(
            sample_index="SupportsIndex", subcircuit_label="str", counts="dict[str, int]", shots="SupportsIndex"
        ),
        "SubcircuitSampleCounts.sample_index": "int",
        "SubcircuitSampleCounts.subcircuit_label": "str",
        "SubcircuitSampleCounts.counts": "dict[str, int]",
        "SubcircuitSampleCounts.shots": "int",
        "SampleCoefficient": sig(sample_index="SupportsIndex", coefficient="_Float"),
        "SampleCoefficient.sample_index": "int",
        "SampleCoefficient.coefficient": "float",
        "reconstruct_expectation": sig(
            "float",
            counts="Sequence[SubcircuitSampleCounts]",
            coefficients="Sequence[SampleCoefficient]",
            subcircuit_labels="_SequenceNotStr[str]",
        ),
    },
    # Private: tavik.arrays (tavik.qubo, tavik.circuits) has checked and converted every argument before it calls these.
    "_arrays": {
        "simulate_qubo_runs": sig(
            "tuple[_Block, _Block]",
            rows="_Array",
            cols="_Array",
            weights="_Array",
            base_bits="_Array",
            n_runs="int",
            noise_level="float",
            seed="int",
        ),
        "qubo_energy_spectrum": sig(
            "tuple[_Block, float, _Block]", rows="_Array", cols="_Array", weights="_Array", n_vars="int"
        ),
        "exact_ising_norm": sig(
            "float", sites="_Array", values="_Array", rows="_Array", cols="_Array", weights="_Array", n_sites="int"
        ),
        "run_statevector": sig("_Block", instructions="object", n_qubits="int"),
        "build_ecc_lookup_table": sig("tuple[_Block, _Block]", n_data="int", starts="_Array", qubits="_Array"),
        "logical_failure_probability": sig(
            "_Block", n_data="int", starts="_Array", qubits="_Array", logical_z="_Array", p="_Array"
        ),
        "vrp_qubo_matrix": sig(
            "tuple[_Block, list[str]]", dist="_Array", rows="int", penalty_a="float", penalty_b="float"
        ),
        "stoer_wagner_bisect": sig(
            "tuple[float, _Block]", first="_Array", second="_Array", weights="_Array", n_nodes="int"
        ),
        "check_code": sig("None", n_data="int", starts="_Array", qubits="_Array", logical_z="_Array"),
        "read_terms": sig("tuple[_Block, _Block, _Block]", terms="object"),
        "read_fields": sig("tuple[_Block, _Block]", fields="object"),
        "read_edges": sig("tuple[_Block, _Block, _Block]", edges="object"),
        "qubo_lowest": sig(
            "tuple[_Block, _Block]",
            rows="_Array",
            cols="_Array",
            weights="_Array",
            offset="float",
            n_vars="int",
            spin="int",
            k="int",
            first="int",
            last="int",
            progress="_Array",
        ),
        "qubo_levels": sig(
            "tuple[_Block, _Block]",
            rows="_Array",
            cols="_Array",
            weights="_Array",
            offset="float",
            n_vars="int",
            spin="int",
            k="int",
            progress="_Array",
        ),
        "qubo_check": sig(
            "None", rows="_Array", cols="_Array", weights="_Array", offset="float", n_vars="int", spin="int"
        ),
        "qubo_parts": sig("int", n_vars="int"),
        "_qec_failure_counts": sig(
            "_Block",
            n_data="int",
            starts="_Array",
            qubits="_Array",
            logical="_Array",
            max_weight="int",
            slice_bits="int",
            first="int",
            last="int",
        ),
        "_qec_complete_failure_counts": sig(
            "_Block", n_data="int", starts="_Array", qubits="_Array", logical="_Array"
        ),
        "circuit_gates": sig("list[tuple[str, int, int]]"),
        "run_circuit": sig("_Block", instructions="object", n_qubits="int", fuse="int", progress="_Array"),
        "circuit_probabilities": sig("_Block", state="_Array"),
        "circuit_marginal": sig("_Block", state="_Array", qubits="_Array"),
        "circuit_sample_prefix": sig("_Block", state="_Array"),
        "circuit_sample": sig("_Block", state="_Array", prefix="_Array", uniforms="_Array"),
        "circuit_expectations": sig(
            "_Block", state="_Array", x_masks="_Array", ends="_Array", z_masks="_Array", progress="_Array"
        ),
        "memory_available": sig("int"),
        "min_cut": sig("tuple[float, _Block]", rows="_Array", cols="_Array", weights="_Array", n_nodes="int"),
    },
}

_NO_CONSTRUCTOR = "No constructor (calling the class raises TypeError)."

NOTES: dict[str, dict[str, Note | list[Note]]] = {
    "tavik_core": {
        "StackelbergSolver": "κ lies in [0, 1]. No range checks are made on the parameters.",
        "StackelbergSolver.solve": """\
Entry t of each list belongs to iteration t; gap is ``|second_best − best|`` and the chain-break
fraction is clamped to [0, 1] first. If the best κ is below ``target_kappa`` the strength is
multiplied by ``1 + learning_rate·(1 − p)·(1 − κ)``, p = min(5·σ(κ), 0.9) with σ(κ) the
``kappa_std`` of the scores; otherwise it is returned unchanged.""",
        "StackelbergSolver.max_iterations": "Stored only: ``solve`` does not read it.",
        "EquilibriumScore": "No constructor: instances come from :meth:`StackelbergSolver.solve`.",
        "EquilibriumScore.iterations": "It is the 0-based index of the scored iteration.",
        "apply_detuning_correction": "The results are in the detunings' own units.",
        "apply_coupling_correction": "(j, i) is a different pair from (i, j); results keep the order of ``couplings``.",
        "apply_rabi_correction": "An error of 0.0 is a perfect drive.",
        "exact_ising_norm": """\
``dh`` holds ``(site, Δh)`` and ``dj`` holds ``((i, j), ΔJ)`` (either orientation; ``i == j``
adds ΔJ); s_k is +1 when bit k of the configuration index is set and -1 when clear. Without
terms the norm is 0.0.""",
        "qubo_energy_spectrum": "``best_assignment`` holds n_vars ints, 0 or 1; n_vars = 0 gives ``([], 0.0, [0.0])``.",
        "run_statevector": """\
Angles are in radians. Gate names are case-sensitive, and a name is unknown (ValueError) for a
number of indices it does not take. Memory: 16·2^n_qubits bytes for the state, plus the
returned tuples.""",
        "simulate_qubo_runs": """\
``base_bits`` holds 0/1 values; any value in 0..255 is carried, one outside it raises
OverflowError. Energies are summed on a worker pool.""",
        "vrp_qubo_terms": """\
n²(2n − 1) entries for n >= 3. A ragged ``dist`` is not square either (ValueError "distance
matrix must be square").""",
        "build_ecc_lookup_table": "Syndrome bit i is the parity of stabilizer i; error bit q flips data qubit q.",
        "logical_failure_probability": "``physical_error_rate`` is the per-qubit flip probability.",
        "stoer_wagner_bisect": [
            (
                "Memory: an n_nodes × n_nodes matrix of floats.",
                """\
Memory: a sparse graph (n_nodes² > 16 × edges + 512 × n_nodes) is kept as
adjacency lists, in memory proportional to n_nodes + edges, and the nodes left move to a
matrix only once merging makes the graph dense and the matrix fits; a denser graph takes an
n_nodes × n_nodes matrix of floats from the start. Every way gives the same result.""",
            ),
            "Parallel edges sum; self-loops do nothing.",
        ],
    },
    "tavik_core.sim": {
        "IsingSimulator": "Exact ground states of a :class:`LogicalGraph` by enumerating every spin configuration.",
        "IsingSimulator.solve_exact": """\
The energy is E(s) = Σ w·s_i·s_j over interactions between distinct variables plus Σ w·s_i
over self-interactions (i == j), minimised: a positive weight favours opposite spins.
Configuration index bit k set means variable k is +1, so free variables come out -1.
Interactions naming an absent variable are ignored; a repeated name means its last variable.
More than 20 variables raise SizeViolation.""",
        "LogicalGraph": """\
Named variables and weighted interactions of a logical Ising problem.

The graph holds copies: changing a record it was built from, or one read from it, never
changes it; assign a whole new list to ``variables`` or ``interactions`` instead.""",
        "LogicalGraph.variables": "The variables in order (a new list of new records on every read); variable k is entry k.",
        "LogicalGraph.interactions": "The interactions in order (a new list of new records on every read).",
        "Variable": """\
A named variable of a :class:`LogicalGraph`.

``domain`` is any string: it is stored and returned but never interpreted here; every
solver of this module treats a variable as an Ising spin (±1) whatever its domain. The
package's own examples use ``"spin"``.""",
        "Interaction": """\
A weighted interaction between the variables named ``i`` and ``j``.

``i == j`` is a field on that variable (energy w·s_i); otherwise the energy is w·s_i·s_j.""",
        "Interaction.weight": "The interaction's weight.",
        "QuditSimulator": "Placeholder of a qudit simulator: records a level count and a site count.",
    },
    "tavik_core.analog": {
        "ContinuousFieldIR": _NO_CONSTRUCTOR,
        "ContinuousFieldIR.data": "The field values (a new list on every read; assign a whole sequence to replace them).",
        "HardwareDeltaModel": _NO_CONSTRUCTOR,
        "HardwareDeltaModel.calibration_data": """\
The calibration deltas (a new list on every read; assign a whole sequence to replace them).""",
        "RydbergControlParameters": "The lengths of ``omega`` and ``delta`` are not compared.",
        "RydbergControlParameters.omega": "Rabi-frequency waveform, one value per time step.",
        "RydbergControlParameters.delta": "Detuning waveform, one value per time step.",
        "RydbergControlParameters.atom_positions": "Position of each atom, in variable order (new records on every read).",
        "SpatialCoordinates": """\
Both are in the lattice's length unit (pitch 5.0). No constructor: instances come from
:meth:`NeutralAtomCompiler.map_to_spatial_geometry`.""",
        "SpatialCoordinates.x": "Column coordinate.",
        "SpatialCoordinates.y": "Row coordinate.",
        "NeutralAtomCompiler.map_to_spatial_geometry": "Only the number of variables is read.",
        "PhotonicGBSParameters": "Neither squareness nor lengths are checked.",
        "PhotonicGBSParameters.adjacency_matrix": "n × n matrix; row and column k belong to mode (variable) k.",
        "PhotonicGBSParameters.phases": "One phase per mode, in radians.",
        "PhotonicCompiler.build_arrazola_bromley_encoding": """\
Returns the adjacency matrix of the interaction weights and one phase per variable.""",
    },
    "tavik_core.ecc": {
        "SurfaceCodePatch": """\
The stabilizer order is the syndrome bit order of
:func:`tavik.tavik_core.build_ecc_lookup_table`. No constructor: instances come from
:func:`build_surface_code`.""",
        "SurfaceCodePatch.distance": "The code distance d.",
        "SurfaceCodePatch.data_qubits": "Every data-qubit index, 0 … d²−1 ascending; qubit a·d + b sits at row a, column b.",
        "SurfaceCodePatch.x_stabilizers": "Supports of the X-type stabilizers, in generation order.",
        "SurfaceCodePatch.z_stabilizers": "Supports of the Z-type stabilizers, in generation order (syndrome bit order).",
        "SurfaceCodePatch.logical_x": "Support of the logical X operator: the first row.",
        "SurfaceCodePatch.logical_z": "Support of the logical Z operator: the first column.",
        "PatchAssignment": "The block holds distance² qubits. No constructor: instances come from :func:`select_patches`.",
        "select_patches": """\
``ranked`` is what :func:`tavik.tavik_core.qubo_criticality` returns; the criticality is not
read.""",
    },
    "tavik_core.cutting": {
        "SubcircuitSampleCounts": "``shots`` is not checked here (:func:`reconstruct_expectation` refuses 0).",
        "SubcircuitSampleCounts.sample_index": "Index of the joint sample this histogram belongs to.",
        "SubcircuitSampleCounts.subcircuit_label": "Label of the sub-circuit.",
        "SubcircuitSampleCounts.counts": "The histogram, bitstring -> count (a new dict on every read, in no particular order).",
        "SubcircuitSampleCounts.shots": "Number of shots of the run.",
        "SampleCoefficient.sample_index": "Index of the joint sample.",
        "SampleCoefficient.coefficient": "The sample's real coefficient.",
    },
}
