# Written by tools/gen_stubs.py from the installed module and tools/stub_sources.py: edit those.
"""Analog compilation: neutral-atom and photonic compilers and their records.

Stubs of ``tavik.tavik_core.analog``, an attribute of the extension module and not an
importable module: use ``core.analog`` or ``from tavik.tavik_core import analog``. The
calibration corrections (``apply_*_correction``) are top-level functions of
:mod:`tavik.tavik_core`.
"""

from collections.abc import Sequence
from typing import Never, Self, final

from .tavik_core import _Float
from ._core_sim import LogicalGraph

__all__ = [
    "ContinuousFieldIR",
    "HardwareDeltaModel",
    "RydbergControlParameters",
    "SpatialCoordinates",
    "NeutralAtomCompiler",
    "PhotonicGBSParameters",
    "PhotonicCompiler",
]

@final
class ContinuousFieldIR:
    """Continuous-field data of an analog program.

    No constructor (calling the class raises TypeError).
    """

    def __new__(cls, no_constructor: Never, /) -> Self: ...
    @property
    def data(self) -> list[float]:
        """The field values (a new list on every read; assign a whole sequence to replace them)."""

    @data.setter
    def data(self, value: Sequence[_Float], /) -> None: ...

@final
class HardwareDeltaModel:
    """Calibration deltas measured on an analog device.

    No constructor (calling the class raises TypeError).
    """

    def __new__(cls, no_constructor: Never, /) -> Self: ...
    @property
    def calibration_data(self) -> list[float]:
        """The calibration deltas (a new list on every read; assign a whole sequence to replace them)."""

    @calibration_data.setter
    def calibration_data(self, value: Sequence[_Float], /) -> None: ...

@final
class RydbergControlParameters:
    """Global Rydberg drive (Rabi frequency omega and detuning delta, one value per time step) and the
    atom positions it acts on. Stored as given; read-only.

    The lengths of ``omega`` and ``delta`` are not compared.
    """

    def __new__(
        cls, omega: Sequence[_Float], delta: Sequence[_Float], atom_positions: Sequence[SpatialCoordinates]
    ) -> Self: ...
    @property
    def omega(self) -> list[float]:
        """Rabi-frequency waveform, one value per time step."""

    @property
    def delta(self) -> list[float]:
        """Detuning waveform, one value per time step."""

    @property
    def atom_positions(self) -> list[SpatialCoordinates]:
        """Position of each atom, in variable order (new records on every read)."""

@final
class SpatialCoordinates:
    """The position of one atom: column x, row y.

    Both are in the lattice's length unit (pitch 5.0). No constructor: instances come from
    :meth:`NeutralAtomCompiler.map_to_spatial_geometry`.
    """

    def __new__(cls, no_constructor: Never, /) -> Self: ...
    @property
    def x(self) -> float:
        """Column coordinate."""

    @property
    def y(self) -> float:
        """Row coordinate."""

@final
class NeutralAtomCompiler:
    """Compiles a logical graph for a neutral-atom array."""

    def __new__(cls) -> Self: ...
    def map_to_spatial_geometry(self, graph: LogicalGraph) -> list[SpatialCoordinates]:
        """One atom per variable, in variable order, on a row-major square lattice of pitch 5.0 and side
        ceil(sqrt(n)): variable v at ((v mod side) * 5.0, (v div side) * 5.0).

        Only the number of variables is read.
        """

    def generate_rydberg_controls(
        self, graph: LogicalGraph, coords: Sequence[SpatialCoordinates]
    ) -> RydbergControlParameters:
        """RydbergControlParameters for the given atom positions: 100 time steps of constant Rabi frequency
        1.0 and detuning 0.5 (the graph's content is not used).
        """

@final
class PhotonicGBSParameters:
    """Gaussian-boson-sampling program: the symmetric adjacency matrix and one phase per mode. Stored as
    given; read-only.

    Neither squareness nor lengths are checked.
    """

    def __new__(cls, adjacency_matrix: Sequence[Sequence[_Float]], phases: Sequence[_Float]) -> Self: ...
    @property
    def adjacency_matrix(self) -> list[list[float]]:
        """n × n matrix; row and column k belong to mode (variable) k."""

    @property
    def phases(self) -> list[float]:
        """One phase per mode, in radians."""

@final
class PhotonicCompiler:
    """Compiles a logical graph for a photonic GBS device."""

    def __new__(cls) -> Self: ...
    def build_arrazola_bromley_encoding(self, graph: LogicalGraph) -> PhotonicGBSParameters:
        """Mode k is variable k. Each interaction between distinct variables sets A[a][b] = A[b][a] to its
        weight; a self-interaction sets phase k to atan(weight). Later interactions overwrite earlier
        ones; names not in the graph are skipped; a repeated name means its last variable.

        Returns the adjacency matrix of the interaction weights and one phase per variable.
        """
