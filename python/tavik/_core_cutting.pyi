# Written by tools/gen_stubs.py from the installed module and tools/stub_sources.py: edit those.
"""Circuit cutting: reconstruct an expectation value from sub-circuit measurement counts.

Stubs of ``tavik.tavik_core.cutting``, an attribute of the extension module and not an
importable module: use ``core.cutting`` or ``from tavik.tavik_core import cutting``.
"""

from collections.abc import Iterator, Sequence
from typing import Any, Protocol, Self, SupportsIndex, TypeVar, final, overload, type_check_only

from .tavik_core import _Float

__all__ = ["SubcircuitSampleCounts", "SampleCoefficient", "reconstruct_expectation"]

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

@final
class SubcircuitSampleCounts:
    """The measurement histogram (bitstring -> count) of one sub-circuit in one joint sample, and the
    number of shots it was measured with. Stored as given; read-only.

    ``shots`` is not checked here (:func:`reconstruct_expectation` refuses 0).
    """

    def __new__(
        cls, sample_index: SupportsIndex, subcircuit_label: str, counts: dict[str, int], shots: SupportsIndex
    ) -> Self: ...
    @property
    def sample_index(self) -> int:
        """Index of the joint sample this histogram belongs to."""

    @property
    def subcircuit_label(self) -> str:
        """Label of the sub-circuit."""

    @property
    def counts(self) -> dict[str, int]:
        """The histogram, bitstring -> count (a new dict on every read, in no particular order)."""

    @property
    def shots(self) -> int:
        """Number of shots of the run."""

@final
class SampleCoefficient:
    """The real coefficient of one joint sample of a cut circuit. Read-only."""

    def __new__(cls, sample_index: SupportsIndex, coefficient: _Float) -> Self: ...
    @property
    def sample_index(self) -> int:
        """Index of the joint sample."""

    @property
    def coefficient(self) -> float:
        """The sample's real coefficient."""

def reconstruct_expectation(
    counts: Sequence[SubcircuitSampleCounts],
    coefficients: Sequence[SampleCoefficient],
    subcircuit_labels: _SequenceNotStr[str],
) -> float:
    """Expectation value of the uncut circuit: the sum over coefficients (in order, from -0.0) of
    coefficient x the product over subcircuit_labels (in order) of the histogram's parity expectation,
    (count of even-parity bitstrings - count of odd-parity bitstrings) / shots, where a bitstring's parity
    is that of its number of '1' characters. Every (sample, label) pair needs exactly one histogram
    (ValueError for a duplicate among `counts` or a missing pair), and every histogram used needs
    shots > 0 (ValueError); an empty subcircuit_labels is a ValueError.
    """
