# Written by tools/gen_stubs.py from the installed module and tools/stub_sources.py: edit those.
"""Surface-code error correction: patches, patch budgeting and circuit remapping.

Stubs of ``tavik.tavik_core.ecc``, an attribute of the extension module and not an importable
module: use ``core.ecc`` or ``from tavik.tavik_core import ecc``. The decoder table and the
logical failure probability are top-level functions of :mod:`tavik.tavik_core`.
"""

from collections.abc import Sequence
from typing import Never, Self, SupportsIndex, final

from .tavik_core import _Float

__all__ = ["SurfaceCodePatch", "build_surface_code", "PatchAssignment", "select_patches", "remap_circuit"]

@final
class SurfaceCodePatch:
    """A rotated surface-code patch of distance d: data qubits 0 … d²−1 (row-major on the d × d grid),
    the X- and Z-stabilizer supports in generation order, and the logical X (first row) and
    logical Z (first column) supports. Built by build_surface_code; read-only.

    The stabilizer order is the syndrome bit order of
    :func:`tavik.tavik_core.build_ecc_lookup_table`. No constructor: instances come from
    :func:`build_surface_code`.
    """

    def __new__(cls, no_constructor: Never, /) -> Self: ...
    @property
    def distance(self) -> int:
        """The code distance d."""

    @property
    def data_qubits(self) -> list[int]:
        """Every data-qubit index, 0 … d²−1 ascending; qubit a·d + b sits at row a, column b."""

    @property
    def x_stabilizers(self) -> list[list[int]]:
        """Supports of the X-type stabilizers, in generation order."""

    @property
    def z_stabilizers(self) -> list[list[int]]:
        """Supports of the Z-type stabilizers, in generation order (syndrome bit order)."""

    @property
    def logical_x(self) -> list[int]:
        """Support of the logical X operator: the first row."""

    @property
    def logical_z(self) -> list[int]:
        """Support of the logical Z operator: the first column."""

def build_surface_code(distance: SupportsIndex = 3) -> SurfaceCodePatch:
    """The rotated surface-code patch of the given distance. Stabilizers come from the plaquettes
    walked by top-left corner, rows then columns from -1; their order is the syndrome bit order of
    build_ecc_lookup_table. A patch too large for memory raises MemoryError.
    """

@final
class PatchAssignment:
    """One logical variable's surface-code patch: its distance and its block of physical qubits,
    the half-open range physical_start … physical_end. Produced by select_patches; read-only.

    The block holds distance² qubits. No constructor: instances come from :func:`select_patches`.
    """

    def __new__(cls, no_constructor: Never, /) -> Self: ...
    @property
    def logical_var(self) -> int:
        """index of the protected logical variable"""

    @property
    def distance(self) -> int:
        """code distance of the patch"""

    @property
    def physical_start(self) -> int:
        """first physical qubit of the block"""

    @property
    def physical_end(self) -> int:
        """one past the last physical qubit of the block"""

def select_patches(
    ranked: Sequence[tuple[SupportsIndex, _Float]], physical_qubit_budget: SupportsIndex, distance: SupportsIndex
) -> list[PatchAssignment]:
    """Walk a (variable, criticality) ranking in order, giving each variable a block of distance²
    physical qubits back to back from qubit 0, until the next block would exceed the budget.
    Distance 0 gives []; a distance whose square overflows 64 bits raises ValueError.

    ``ranked`` is what :func:`tavik.tavik_core.qubo_criticality` returns; the criticality is not
    read.
    """

def remap_circuit(
    circuit: Sequence[tuple[str, Sequence[SupportsIndex]]], assignments: Sequence[PatchAssignment]
) -> list[tuple[str, list[int]]]:
    """Rewrite a (gate_name, operands) list: each operand naming an assigned logical variable becomes
    the first physical qubit of its patch (the last PatchAssignment for a variable wins); all other
    operands and every gate name are returned unchanged.
    """
