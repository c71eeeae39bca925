"""NumPy arrays in and out of tavik's kernels, on every core.

Each function computes, bit for bit, what the function of the same name in
:mod:`tavik.tavik_core` computes on the equivalent lists, and returns NumPy
arrays. The native part of every call runs with the interpreter lock
released, so other Python threads run meanwhile and calls from several
threads run at once; work is spread over the CPUs the process may use
without changing a single bit of any result.

Inputs are taken in the forms scientific code holds them in:

- a QUBO as a mapping ``{(i, j): w}`` (taken in iteration order), a triple
  ``(rows, cols, weights)`` of 1-D arrays (array order), a square 2-D array
  ``Q`` (every entry that is not 0.0, row-major), or the core's list of
  ``((i, j), w)`` terms;
- index and value arrays of any integer or floating dtype that converts
  safely. Arrays of the native dtype and layout (int64 or uint64 indices,
  float64 values, C-contiguous) are read in place, others converted once.

Bad inputs raise ``TypeError`` (a dtype that cannot convert safely, an input
of the wrong kind) or ``ValueError`` (a wrong shape, an index out of range,
NaN where an index is expected) naming the argument, before any work starts.
Size limits raise :class:`tavik.exceptions.SizeViolation` as in the core, and
Ctrl-C stops any call within a fraction of a second.
"""

from __future__ import annotations

import operator
from collections.abc import Iterable, Mapping, Sequence
from typing import Any, Protocol, TypeAlias, cast, runtime_checkable

import numpy as np
import numpy.typing as npt

from tavik import _arrays

__all__ = ["simulate_qubo_runs", "stoer_wagner_bisect", "vrp_qubo_matrix"]

Indices: TypeAlias = npt.NDArray[np.uint64] | npt.NDArray[np.int64]
Floats: TypeAlias = npt.NDArray[np.float64]
QuboLike: TypeAlias = (
    Mapping[tuple[int, int], float]
    | tuple[npt.ArrayLike, npt.ArrayLike, npt.ArrayLike]
    | npt.NDArray[Any]
    | Sequence[tuple[tuple[int, int], float]]
)


# --- argument checks: one place for each rule ---------------------------------------


def _count(name: str, value: object) -> int:
    """A non-negative integer argument (``operator.index`` semantics)."""
    try:
        n = operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"{name}: expected an int, not {type(value).__name__}") from None
    if n < 0:
        raise ValueError(f"{name}: must be >= 0, got {n}")
    return n


def _floats(name: str, values: npt.ArrayLike, ndim: int = 1) -> Floats:
    """A float64 array of `ndim` dimensions, read in place when it is one."""
    arr = np.asarray(values)
    if arr.dtype != np.float64:
        if arr.dtype.kind not in "biuf":
            raise TypeError(f"{name}: expected real numbers, not an array of {arr.dtype}")
        arr = arr.astype(np.float64)
    if arr.ndim != ndim:
        raise ValueError(f"{name}: expected a {ndim}-D array, got shape {arr.shape}")
    return np.ascontiguousarray(arr)


def _indices(name: str, values: npt.ArrayLike, limit: int, limit_name: str) -> Indices:
    """A 1-D array of indices below `limit`, as int64 or uint64 (read in place
    when it already is one)."""
    arr = np.asarray(values)
    if arr.size == 0:
        arr = arr.astype(np.int64)
    if arr.ndim != 1:
        raise ValueError(f"{name}: expected a 1-D array of indices, got shape {arr.shape}")
    if arr.dtype.kind == "f":
        if np.isnan(arr).any():
            raise ValueError(f"{name}: NaN where an index is expected")
        if not np.array_equal(arr, np.floor(arr)):
            raise ValueError(f"{name}: indices must be whole numbers")
    elif arr.dtype.kind not in "iu":
        raise TypeError(f"{name}: expected integer indices, not an array of {arr.dtype}")
    if arr.size:
        low, high = arr.min(), arr.max()
        if low < 0:
            raise ValueError(f"{name}: index {int(low)} is negative")
        if high >= limit:
            raise ValueError(f"{name}: index {int(high)} is out of range for {limit_name} = {limit}")
    if arr.dtype not in (np.int64, np.uint64):
        arr = arr.astype(np.int64)
    return np.ascontiguousarray(arr)


def _is_term(item: object) -> bool:
    return (
        isinstance(item, Sequence)
        and len(item) == 2
        and isinstance(item[0], Sequence)
        and not isinstance(item[0], str)
    )


def _qubo(name: str, qubo: QuboLike, n: int, n_name: str) -> tuple[Indices, Indices, Floats]:
    """The QUBO's terms as (rows, cols, weights) columns, in the order the
    core would read the equivalent term list."""
    rows: Any
    cols: Any
    weights: Any
    if isinstance(qubo, Mapping):
        keys = list(qubo.keys())
        if any(not isinstance(k, tuple) or len(k) != 2 for k in keys):
            raise TypeError(f"{name}: a mapping's keys must be (i, j) pairs")
        rows = [k[0] for k in keys]
        cols = [k[1] for k in keys]
        weights = list(qubo.values())
    elif isinstance(qubo, np.ndarray) and qubo.ndim == 2:
        if qubo.shape[0] != qubo.shape[1]:
            raise ValueError(f"{name}: a QUBO matrix must be square, got shape {qubo.shape}")
        dense = _floats(name, qubo, ndim=2)
        rows, cols = np.nonzero(dense != 0.0)
        weights = dense[rows, cols]
    elif isinstance(qubo, tuple) and len(qubo) == 3 and not any(_is_term(c) for c in qubo):
        rows, cols, weights = qubo
    elif isinstance(qubo, Sequence) and not isinstance(qubo, str):
        terms = cast(Sequence[Any], qubo)
        if not all(_is_term(t) for t in terms):
            raise TypeError(f"{name}: expected ((i, j), w) terms")
        rows = [t[0][0] for t in terms]
        cols = [t[0][1] for t in terms]
        weights = [t[1] for t in terms]
    else:
        raise TypeError(
            f"{name}: expected a mapping, a (rows, cols, weights) triple, a square array or a term list, "
            f"not {type(qubo).__name__}"
        )
    r = _indices(f"{name} rows", rows, n, n_name)
    c = _indices(f"{name} cols", cols, n, n_name)
    w = _floats(f"{name} weights", weights)
    if not (len(r) == len(c) == len(w)):
        raise ValueError(f"{name}: rows, cols and weights differ in length ({len(r)}, {len(c)}, {len(w)})")
    return r, c, w


def _bits(name: str, values: npt.ArrayLike) -> npt.NDArray[np.uint8]:
    """A 1-D array of 8-bit values."""
    arr = np.asarray(values)
    if arr.size == 0:
        arr = arr.astype(np.uint8)
    if arr.ndim != 1:
        raise ValueError(f"{name}: expected a 1-D array, got shape {arr.shape}")
    if arr.dtype.kind not in "biu":
        raise TypeError(f"{name}: expected integers, not an array of {arr.dtype}")
    if arr.size and (arr.min() < 0 or arr.max() > 255):
        raise ValueError(f"{name}: values must lie in 0..255")
    return np.ascontiguousarray(arr, dtype=np.uint8)


# --- the kernels ------------------------------------------------------------------


def simulate_qubo_runs(
    qubo: QuboLike, base_bits: npt.ArrayLike, n_runs: int, noise_level: float, seed: int
) -> tuple[npt.NDArray[np.uint8], Floats]:
    """Noisy runs of a QUBO: ``(runs, energies)``, ``runs[k]`` the k-th noisy copy of
    `base_bits` (``uint8[n_runs, n]``) and ``energies[k]`` its energy, exactly as
    :func:`tavik.tavik_core.simulate_qubo_runs` draws and sums them. Energies are
    evaluated on every core."""
    bits = _bits("base_bits", base_bits)
    rows, cols, weights = _qubo("qubo", qubo, len(bits), "len(base_bits)")
    runs = np.empty((_count("n_runs", n_runs), len(bits)), dtype=np.uint8)
    energies = np.empty(len(runs), dtype=np.float64)
    _arrays.simulate_qubo_runs(rows, cols, weights, bits, noise_level, seed, runs, energies)
    return runs, energies


# --- graphs ---------------------------------------------------------------------------


@runtime_checkable
class GraphLike(Protocol):
    """A networkx graph, as far as reading its edges goes."""

    def edges(self, *, data: bool) -> Iterable[tuple[Any, Any, Mapping[str, Any]]]: ...


EdgesLike: TypeAlias = (
    npt.NDArray[Any] | tuple[npt.ArrayLike, npt.ArrayLike, npt.ArrayLike] | GraphLike | Sequence[Sequence[float]]
)


def _distances(dist: npt.ArrayLike) -> tuple[Floats, int]:
    """The distance matrix's values (row-major) and its number of rows. A
    ragged matrix comes back as no values, which the kernel finds not square."""
    try:
        arr = np.asarray(dist)
    except ValueError:  # rows of different lengths
        return np.empty(0), len(cast(Sequence[Any], dist))
    if arr.size == 0 and arr.ndim == 1:  # [] as the core reads it: no rows
        arr = arr.reshape(0, 0)
    arr = _floats("dist", arr, ndim=2)
    return arr, arr.shape[0]


def vrp_qubo_matrix(dist: npt.ArrayLike, penalty_a: float, penalty_b: float) -> tuple[Floats, list[str]]:
    """The one-hot tour QUBO of a routing instance as a dense matrix: ``(Q, labels)``,
    ``Q`` of shape ``(n*n, n*n)`` with ``Q[a, b]`` the value that
    :func:`tavik.tavik_core.vrp_qubo_terms` keys ``(labels[a], labels[b])`` (0.0 where
    it has no such key; keys name their variables in string order, so ``Q`` is not
    symmetric) and ``labels[i*n + t] == f"x_{i}_{t}"``. A distance matrix that is not
    square raises ``ValueError("distance matrix must be square")``; one whose ``Q``
    cannot fit in memory, ``MemoryError``. Rows are filled on every core."""
    values, rows = _distances(dist)
    # Zeroed lazily by the system, page by page as the kernel writes; no room
    # for a matrix that is not square, which the kernel refuses.
    n_vars = rows * rows if values.size == rows * rows else 0
    q = np.zeros((n_vars, n_vars))
    labels = _arrays.vrp_qubo_matrix(values, rows, penalty_a, penalty_b, q)
    return q, labels


def _is_edge(item: object) -> bool:
    return isinstance(item, Sequence) and not isinstance(item, str) and len(item) == 3 and not any(
        isinstance(x, Sequence) for x in item
    )


def _edges(name: str, edges: EdgesLike) -> tuple[Any, Any, Any]:
    """The edges' (u, v, w) columns, in the order the core would read the
    equivalent edge list."""
    if isinstance(edges, np.ndarray):
        if edges.ndim != 2 or edges.shape[1] != 3:
            raise ValueError(f"{name}: expected an (m, 3) array of (u, v, w) rows, got shape {edges.shape}")
        return edges[:, 0], edges[:, 1], edges[:, 2]
    if isinstance(edges, GraphLike):
        triples = [(u, v, d.get("weight", 1.0)) for u, v, d in edges.edges(data=True)]
        return [t[0] for t in triples], [t[1] for t in triples], [t[2] for t in triples]
    # A tuple of three (i, j, w) edges is an edge list, as the core reads it.
    if isinstance(edges, tuple) and len(edges) == 3 and not all(_is_edge(e) for e in edges):
        return edges[0], edges[1], edges[2]
    if isinstance(edges, Sequence) and not isinstance(edges, str):
        items = cast(Sequence[Any], edges)
        if not all(_is_edge(e) for e in items):
            raise TypeError(f"{name}: expected (i, j, w) edges")
        return [e[0] for e in items], [e[1] for e in items], [e[2] for e in items]
    raise TypeError(
        f"{name}: expected an (m, 3) array, a (u, v, w) triple, a networkx graph or an edge list, "
        f"not {type(edges).__name__}"
    )


def stoer_wagner_bisect(edges: EdgesLike, n_nodes: int) -> tuple[float, npt.NDArray[np.int64]]:
    """A global minimum cut of the undirected graph on nodes ``0..n_nodes-1``:
    ``(weight, side)``, ``side`` the nodes of one part (``int64``, in the order
    :func:`tavik.tavik_core.stoer_wagner_bisect` lists them), the other part every
    remaining node. Edges come as an ``(m, 3)`` array of ``(u, v, w)`` rows, a triple
    of arrays ``(u, v, w)``, a networkx graph with integer nodes (attribute
    ``"weight"``, 1.0 where absent; edges in ``edges(data=True)`` order) or the
    core's list of ``(i, j, w)`` (so a tuple of three such edges is three edges);
    parallel edges add up and self-loops count for nothing. Fewer than two nodes, or no finite cut, raise the core's ValueError."""
    u, v, w = _edges("edges", edges)
    n = _count("n_nodes", n_nodes)
    # Fewer than two nodes is refused by the kernel before it reads an edge.
    limit = n if n >= 2 else 2**64
    first = _indices("edges u", u, limit, "n_nodes")
    second = _indices("edges v", v, limit, "n_nodes")
    weights = _floats("edges w", w)
    if not (len(first) == len(second) == len(weights)):
        raise ValueError(f"edges: u, v and w differ in length ({len(first)}, {len(second)}, {len(weights)})")
    weight, side = _arrays.stoer_wagner_bisect(first, second, weights, n)
    return weight, np.frombuffer(side, dtype=np.int64)
