"""Exact lowest states and energy levels of QUBO and Ising models of up to 48 variables.

:func:`lowest` gives the k lowest assignments of a model and their energies, :func:`levels`
the k lowest energy levels and how many assignments have each (the degeneracies). Both walk
every assignment, on every CPU the process may use with the interpreter lock released, in
memory that grows with n² and k, never with 2^n: about a second for 32 variables, minutes for
40 on a two-core machine. A progress bar is drawn on a terminal for long calls (through tqdm
where it is installed), and Ctrl-C stops a call within a fraction of a second.

Models come in the forms the dimod ecosystem holds them in (dimod itself is never needed):

- an object with a binary quadratic model's ``linear``, ``quadratic``, ``offset`` and
  ``vartype`` (a ``dimod.BinaryQuadraticModel`` is one): variables in ``linear``'s order;
- a mapping ``{(u, v): w}`` over any hashable labels, ``u == v`` a linear term, variables in
  the order they first appear; or a pair ``(mapping, offset)``;
- a square NumPy array or ``scipy.sparse`` matrix (both triangles count; the diagonal is
  linear), a ``(rows, cols, weights)`` triple of arrays or a list of ``((i, j), w)`` terms:
  variable i is index i, up to the largest index (the matrix's size for a matrix).

``vartype`` ("BINARY" or "SPIN", or dimod's ``Vartype``) supplies the model's, or overrides a
model's own; without either, variables are BINARY. Variable j is bit j of an assignment's
index, in the order of ``variables``; a SPIN variable is +1 where its bit is set.

Every energy reported is the model's offset plus its terms added one by one in the order the
model lists them (a BQM: its linear terms, then its quadratic ones; a matrix: its nonzero
entries row by row), the same bits on any number of CPUs; states rank by that energy, ties by
ascending index. For a term list of integer indices without an offset, that is the sum
:func:`tavik.tavik_core.qubo_energy_spectrum` computes. Bad input (a weight that is NaN or
infinite, k < 1, more than 48 variables, an unhashable label) raises ``TypeError`` or
``ValueError`` naming the argument before any work starts.
"""

from __future__ import annotations

import importlib
import numbers
import operator
import re
import sys
from collections.abc import Callable, Hashable, Iterable, Mapping, Sequence, Set
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Literal, NamedTuple, Protocol, TypeAlias, TypeVar

import numpy as np
import numpy.typing as npt

from tavik._progress import with_progress
from tavik import _arrays, arrays

if TYPE_CHECKING:
    import dimod
    from distributed import Client

__all__ = ["BQMLike", "Lowest", "ModelLike", "VartypeLike", "levels", "lowest"]

Vartype: TypeAlias = Literal["BINARY", "SPIN"]
T = TypeVar("T")


class BQMLike(Protocol):
    """What is read of a binary quadratic model: the attributes of dimod's."""

    @property
    def linear(self) -> Mapping[Any, Any]: ...
    @property
    def quadratic(self) -> Mapping[Any, Any]: ...
    @property
    def offset(self) -> Any: ...
    @property
    def vartype(self) -> Any: ...


class SparseLike(Protocol):
    """A scipy.sparse matrix or array."""

    @property
    def shape(self) -> tuple[int, ...]: ...
    def tocsr(self, copy: bool = ...) -> Any: ...


class _Named(Protocol):
    @property
    def name(self) -> str: ...


Pairs: TypeAlias = Mapping[tuple[Hashable, Hashable], float]
Indexed: TypeAlias = (
    npt.NDArray[Any]
    | SparseLike
    | tuple[npt.ArrayLike, npt.ArrayLike, npt.ArrayLike]
    | Sequence[tuple[tuple[int, int], float]]
)
ModelLike: TypeAlias = BQMLike | Pairs | Indexed | tuple[Pairs | Indexed, float]
VartypeLike: TypeAlias = str | Set[int] | _Named


@dataclass(frozen=True, eq=False)
class Lowest:
    """The k lowest assignments of a model: row r of ``samples`` (``int8``, 0/1 for BINARY,
    -1/+1 for SPIN, a column per variable of ``variables``) has energy ``energies[r]``; rows
    ascend by energy, ties by assignment index."""

    variables: list[Hashable]
    samples: npt.NDArray[np.int8]
    energies: npt.NDArray[np.float64]
    vartype: Vartype

    def to_sampleset(self) -> dimod.SampleSet:
        """The rows as a ``dimod.SampleSet`` (in the same order; dimod must be installed)."""
        try:
            dimod = importlib.import_module("dimod")
        except ImportError as error:
            raise ImportError("to_sampleset needs dimod: pip install 'tavik[dimod]'") from error
        return dimod.SampleSet.from_samples(  # type: ignore[no-any-return]
            (self.samples, self.variables), self.vartype, self.energies, sort_labels=False
        )


class _Model(NamedTuple):
    """A model as the kernels read it: its terms in summing order, over variable indices."""

    variables: list[Hashable]
    rows: arrays.Indices
    cols: arrays.Indices
    weights: arrays.Floats
    offset: float
    spin: bool

    def columns(self) -> tuple[arrays.Indices, arrays.Indices, arrays.Floats, float, int, int]:
        return self.rows, self.cols, self.weights, self.offset, len(self.variables), int(self.spin)


# --- reading models --------------------------------------------------------------------


def _vartype(value: object, name: str) -> Vartype | None:
    if value is None:
        return None
    if isinstance(value, Set) and value in ({0, 1}, {-1, 1}):
        return "BINARY" if 0 in value else "SPIN"
    text = getattr(value, "name", value)
    if isinstance(text, str) and text.upper() in ("BINARY", "SPIN"):
        return "BINARY" if text.upper() == "BINARY" else "SPIN"
    raise ValueError(f"{name}: expected 'BINARY' or 'SPIN', not {value!r}")


def _real(value: object) -> bool:
    return isinstance(value, (numbers.Real, np.floating, np.integer)) and not isinstance(value, (bool, np.bool_))


def _labelled(items: Iterable[tuple[Any, Any]], variables: list[Hashable]) -> tuple[Any, Any, Any]:
    """Columns of ((u, v), w) items over labels, numbered in `variables`' order and then as
    they first appear (appended to `variables`)."""
    number: dict[Hashable, int] = {label: k for k, label in enumerate(variables)}
    rows: list[int] = []
    cols: list[int] = []
    weights: list[Any] = []
    for key, w in items:
        if not (isinstance(key, tuple) and len(key) == 2):
            raise TypeError(f"model: expected (u, v) pairs of labels as keys, not {key!r}")
        for label, column in zip(key, (rows, cols)):
            try:
                index = number.setdefault(label, len(number))
            except TypeError:
                raise TypeError(f"model: label {label!r} is unhashable") from None
            if index == len(variables):
                variables.append(label)
            column.append(index)
        weights.append(w)
    return rows, cols, weights


def _bqm(model: BQMLike) -> tuple[list[Hashable], Any, Any, Any, Any]:
    variables: list[Hashable] = []
    linear = list(model.linear.items())
    try:
        rows, cols, weights = _labelled((((v, v), w) for v, w in linear), variables)
        quadratic = _labelled(model.quadratic.items(), variables)
    except TypeError as error:
        raise TypeError(str(error).replace("model: expected (u, v) pairs of labels as keys",
                                           "model.quadratic: expected (u, v) pairs as keys")) from None
    return variables, rows + quadratic[0], cols + quadratic[1], weights + quadratic[2], model.offset


def _indexed(model: Any) -> tuple[list[Hashable], Any, Any, Any]:
    """Variables and columns of a matrix, a COO triple or a term list over indices."""
    if hasattr(model, "tocsr") and hasattr(model, "shape"):  # scipy.sparse
        if len(model.shape) != 2 or model.shape[0] != model.shape[1]:
            raise ValueError(f"model: a QUBO matrix must be square, got shape {model.shape}")
        csr = model.tocsr(copy=True)
        csr.sum_duplicates()  # a sparse entry's value is the sum of its duplicates
        csr.eliminate_zeros()
        n = int(model.shape[0])
        starts = np.repeat(np.arange(n, dtype=np.int64), np.diff(csr.indptr))
        return list(range(n)), starts, csr.indices, arrays._floats("model weights", csr.data)
    if isinstance(model, np.ndarray) and model.ndim != 2:
        raise ValueError(f"model: a QUBO matrix must be 2-D, got shape {model.shape}")
    if not isinstance(model, (np.ndarray, Sequence)) or isinstance(model, (str, bytes)):
        raise TypeError(
            "model: expected a BQM, a mapping {(u, v): w}, a (model, offset) pair, a square array or sparse "
            f"matrix, a (rows, cols, weights) triple or a list of ((i, j), w) terms, not {type(model).__name__}"
        )
    rows, cols, weights = arrays._qubo("model", model)
    if isinstance(model, np.ndarray):
        n = model.shape[0]
    else:
        n = int(max(rows.max(), cols.max())) + 1 if len(weights) else 0
    return list(range(n)), rows, cols, weights


def _read(model: ModelLike, vartype: object) -> _Model:
    """The model's variables and terms in summing order, checked as the kernels check them."""
    given = _vartype(vartype, "vartype")
    own: Vartype | None = None
    offset: object = 0.0
    given_model: Any = model
    if all(hasattr(model, a) for a in ("linear", "quadratic", "offset", "vartype")):
        own = _vartype(given_model.vartype, "model.vartype")
        variables, rows, cols, weights, offset = _bqm(given_model)
    else:
        if isinstance(model, tuple) and len(model) == 2 and _real(model[1]):
            given_model, offset = model
        if isinstance(given_model, Mapping):
            variables = []
            rows, cols, weights = _labelled(given_model.items(), variables)
        else:
            variables, rows, cols, weights = _indexed(given_model)
    if not _real(offset):
        raise TypeError(f"model: the offset must be a real number, not {type(offset).__name__}")
    spin = (given or own) == "SPIN"
    read = _Model(variables, arrays._indices("model rows", rows), arrays._indices("model cols", cols),
                  arrays._floats("model weights", weights), float(offset), spin)  # type: ignore[arg-type]
    try:
        _arrays.qubo_check(*read.columns())
    except ValueError as error:  # the kernel numbers the variables; the caller knows their labels
        term = re.match(r"model: the weight of term \d+ \(variables (\d+), (\d+)\)(.*)", str(error), re.S)
        if term is None:
            raise
        u, v = (variables[int(i)] for i in term.group(1, 2))
        raise ValueError(f"model: the weight of ({u!r}, {v!r}){term.group(3)}") from None
    return read


def _k(k: object) -> int:
    try:
        count = operator.index(k)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"k: expected an int, not {type(k).__name__}") from None
    if count < 1:
        raise ValueError(f"k: must be >= 1, got {count}")
    return count


# --- progress ----------------------------------------------------------------------------

_BAR_STATES = 2**31  # assignments past which a call may outlast a few seconds


def _with_progress(call: Callable[[npt.NDArray[np.uint64]], T], total: int) -> T:
    return with_progress(call, total, long=total >= _BAR_STATES, unit="assignments", label="tavik.qubo")




# --- lowest states -------------------------------------------------------------------------


def _lowest_range(
    columns: tuple[arrays.Indices, arrays.Indices, arrays.Floats, float, int, int], k: int, first: int, last: int
) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.uint64]]:
    """The k lowest (energies, indices) of parts [first, last): one task of a cluster's split."""
    rows, cols, weights = (arrays._native(a) for a in columns[:3])  # unpickled, they may come unaligned
    energies, indices = _arrays.qubo_lowest(rows, cols, weights, *columns[3:], k, first, last,
                                            np.zeros(1, dtype=np.uint64))
    return np.frombuffer(energies, dtype=np.float64), np.frombuffer(indices, dtype=np.uint64)


def _on_cluster(client: Client, model: _Model, k: int) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.uint64]]:
    """The k lowest over every part, the parts split into ranges, a task each, merged exactly:
    every range reports its k lowest by (energy, index), and so holds every state of the
    overall k lowest that lies in it."""
    from tavik import sweep

    distributed = sweep._distributed()
    if not isinstance(client, distributed.Client):
        raise TypeError(f"client: expected a distributed.Client or None, not {type(client).__name__}")
    cluster: Any = client  # its methods are typed as coroutines too
    parts = _arrays.qubo_parts(len(model.variables))
    tasks = min(parts, 4 * max(1, sum(cluster.nthreads().values())))
    bounds = [parts * t // tasks for t in range(tasks + 1)]
    columns = model.columns()
    futures = [cluster.submit(_lowest_range, columns, k, a, b, pure=False) for a, b in zip(bounds, bounds[1:])]
    results = sweep._gather(cluster, futures, sys.stderr.isatty() and 2 ** len(model.variables) >= _BAR_STATES)
    energies = np.concatenate([r[0] for r in results])
    indices = np.concatenate([r[1] for r in results])
    order = np.lexsort((indices, energies))[:k]
    return energies[order], indices[order]


def lowest(model: ModelLike, k: int = 1, *, vartype: VartypeLike | None = None, client: Client | None = None) -> Lowest:
    """The ``min(k, 2^n)`` lowest assignments of `model` and their energies, exactly.

    Rows ascend by energy, ties by assignment index; each energy is the model's own sum for its
    row (see the module's documentation). With a Dask ``client``, the assignment space is split
    into ranges, a task each, whose k lowest are merged exactly: the same result as on one
    machine."""
    read = _read(model, vartype)
    n = len(read.variables)
    count = min(_k(k), 2**n)
    if client is None:
        parts = _arrays.qubo_parts(n)
        raw = _with_progress(lambda p: _arrays.qubo_lowest(*read.columns(), count, 0, parts, p), 2**n)
        energies, indices = np.frombuffer(raw[0], dtype=np.float64), np.frombuffer(raw[1], dtype=np.uint64)
    else:
        energies, indices = _on_cluster(client, read, count)
    samples = np.empty((len(indices), n), dtype=np.int8)
    for j in range(n):  # a column at a time: no temporary of 8 bytes a variable
        samples[:, j] = (indices >> np.uint64(j)) & np.uint64(1)
    if read.spin:
        samples *= 2
        samples -= 1
    return Lowest(read.variables, samples, energies, "SPIN" if read.spin else "BINARY")


# --- energy levels --------------------------------------------------------------------------


def levels(
    model: ModelLike, k: int = 1, *, vartype: VartypeLike | None = None
) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.int64]]:
    """The k lowest energy levels of `model` and how many assignments have each:
    ``(energies, counts)``, ascending, ``min(k, levels)`` of each.

    Two energies are one level when they agree once multiplied by 1e9 and rounded half away
    from zero, as in :func:`tavik.tavik_core.qubo_energy_spectrum`, whose lowest entries these
    energies are for the models it takes; a level beyond that key's range (\\|E\\| > 9.2e9) is a
    ``ValueError`` rather than a merge of distinct energies. Counts are exact: at most 2^48,
    far within int64."""
    read = _read(model, vartype)
    n = len(read.variables)
    count = min(_k(k), 2**n)
    raw = _with_progress(lambda p: _arrays.qubo_levels(*read.columns(), count, p), 2**n)
    return np.frombuffer(raw[0], dtype=np.float64), np.frombuffer(raw[1], dtype=np.int64)
