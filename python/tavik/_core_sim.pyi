# Written by tools/gen_stubs.py from the installed module and tools/stub_sources.py: edit those.
"""Logical Ising graphs, the exact Ising solver and the qudit simulator placeholder.

Stubs of ``tavik.tavik_core.sim``, an attribute of the extension module and not an importable
module: use ``core.sim`` or ``from tavik.tavik_core import sim``.
"""

from collections.abc import Sequence
from typing import Self, SupportsIndex, final

from .tavik_core import _Float

__all__ = ["IsingSimulator", "LogicalGraph", "Variable", "Interaction", "QuditSimulator"]

@final
class IsingSimulator:
    """Exact ground states of a :class:`LogicalGraph` by enumerating every spin configuration."""

    def __new__(cls) -> Self: ...
    def solve_exact(self, graph: LogicalGraph) -> list[int]:
        """Ground state of the graph's Ising energy by enumerating all 2^N spin configurations (N ≤ 20):
        a list of N spins, +1 or -1, in variable order; ties go to the lowest configuration index.

        The energy is E(s) = Σ w·s_i·s_j over interactions between distinct variables plus Σ w·s_i
        over self-interactions (i == j), minimised: a positive weight favours opposite spins.
        Configuration index bit k set means variable k is +1, so free variables come out -1.
        Interactions naming an absent variable are ignored; a repeated name means its last variable.
        More than 20 variables raise SizeViolation.
        """

@final
class LogicalGraph:
    """Named variables and weighted interactions of a logical Ising problem.

    The graph holds copies: changing a record it was built from, or one read from it, never
    changes it; assign a whole new list to ``variables`` or ``interactions`` instead.
    """

    def __new__(cls, variables: Sequence[Variable], interactions: Sequence[Interaction]) -> Self: ...
    @property
    def variables(self) -> list[Variable]:
        """The variables in order (a new list of new records on every read); variable k is entry k."""

    @variables.setter
    def variables(self, value: Sequence[Variable], /) -> None: ...
    @property
    def interactions(self) -> list[Interaction]:
        """The interactions in order (a new list of new records on every read)."""

    @interactions.setter
    def interactions(self, value: Sequence[Interaction], /) -> None: ...

@final
class Variable:
    """A named variable of a :class:`LogicalGraph`.

    ``domain`` is any string: it is stored and returned but never interpreted here; every
    solver of this module treats a variable as an Ising spin (±1) whatever its domain. The
    package's own examples use ``"spin"``.
    """

    def __new__(cls, name: str, domain: str) -> Self: ...
    name: str
    domain: str

@final
class Interaction:
    """A weighted interaction between the variables named ``i`` and ``j``.

    ``i == j`` is a field on that variable (energy w·s_i); otherwise the energy is w·s_i·s_j.
    """

    def __new__(cls, i: str, j: str, weight: _Float) -> Self: ...
    i: str
    j: str
    @property
    def weight(self) -> float:
        """The interaction's weight."""

    @weight.setter
    def weight(self, value: _Float, /) -> None: ...

@final
class QuditSimulator:
    """Placeholder of a qudit simulator: records a level count and a site count."""

    def __new__(cls, levels: SupportsIndex, num_sites: SupportsIndex) -> Self: ...
    def simulate(self) -> list[float]:
        """A list of num_sites zeros."""
