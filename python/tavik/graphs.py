"""Exact global minimum cuts of weighted undirected graphs.

:func:`min_cut` finds the least total weight of edges whose removal splits a graph in two,
and a side that attains it, exactly: it contracts only edges that provably cross no minimum
cut it still needs (Padberg and Rinaldi's tests and Nagamochi, Ono and Ibaraki's
maximum-adjacency certificates), so graphs of a million edges take about a second. The
native part runs with the interpreter lock released, and Ctrl-C stops it within a fraction
of a second.

Graphs come as:

- a networkx ``Graph`` or ``MultiGraph`` with any hashable node labels (the parallel edges
  of a multigraph add up; ``weight`` names the edge attribute, 1 where an edge lacks it);
- a square ``scipy.sparse`` matrix, symmetric or triangular (upper or lower), read as
  undirected: entry (i, j) is an edge of node i and node j; the diagonal is ignored;
- a triple ``(rows, cols, weights)`` of 1-D arrays, edge k joining ``rows[k]`` and
  ``cols[k]``, with ``n_nodes`` the number of nodes (the largest index + 1 by default).

Self-loops count for nothing and parallel edges add up. Weights must be finite and
non-negative: a minimum cut with negative weights is a different, hard problem, and a
contraction method would give a cut that is not minimal without saying so.
"""

from __future__ import annotations

import re
from collections.abc import Hashable
from typing import Any, NamedTuple, Protocol, TypeAlias

import numpy as np
import numpy.typing as npt

from tavik import _arrays, arrays

__all__ = ["GraphLike", "MinCut", "min_cut"]


class _NetworkX(Protocol):
    """What is read of a networkx graph."""

    def is_directed(self) -> bool: ...
    def is_multigraph(self) -> bool: ...
    @property
    def nodes(self) -> Any: ...
    @property
    def edges(self) -> Any: ...


class _Sparse(Protocol):
    """A scipy.sparse matrix or array."""

    @property
    def shape(self) -> tuple[int, ...]: ...
    def tocoo(self, copy: bool = ...) -> Any: ...


GraphLike: TypeAlias = _NetworkX | _Sparse | tuple[npt.ArrayLike, npt.ArrayLike, npt.ArrayLike]


class MinCut(NamedTuple):
    """A global minimum cut: ``value`` is the exact total weight of the edges between
    ``side`` and ``other``, which hold every node once. For a networkx graph both are lists
    of node labels (in the graph's node order), otherwise ``int64`` arrays of node indices
    (ascending). ``side`` is the smaller part; of two equal parts, the one without the first
    node."""

    value: float
    side: list[Hashable] | npt.NDArray[np.int64]
    other: list[Hashable] | npt.NDArray[np.int64]


class _Edges(NamedTuple):
    rows: arrays.Indices
    cols: arrays.Indices
    weights: arrays.Floats
    n_nodes: int
    labels: list[Hashable] | None


def _networkx(graph: Any, weight: str) -> _Edges:
    if graph.is_directed():
        raise TypeError("graph: a directed graph has no minimum cut in this sense; "
                        "pass graph.to_undirected() (which keeps one edge of each pair)")
    labels = list(graph.nodes)
    index = {label: i for i, label in enumerate(labels)}
    triples = list(graph.edges(data=weight, default=1))
    rows = np.fromiter((index[u] for u, _, _ in triples), dtype=np.int64, count=len(triples))
    cols = np.fromiter((index[v] for _, v, _ in triples), dtype=np.int64, count=len(triples))
    try:
        weights = np.array([w for _, _, w in triples], dtype=np.float64)
    except (TypeError, ValueError):
        u, v, w = next(t for t in triples if not isinstance(t[2], (int, float, np.integer, np.floating)))
        raise TypeError(f"graph: the weight of edge ({u!r}, {v!r}) is not a real number: {w!r}") from None
    return _Edges(rows, cols, weights, len(labels), labels)


def _sparse(matrix: Any) -> _Edges:
    if len(matrix.shape) != 2 or matrix.shape[0] != matrix.shape[1]:
        raise ValueError(f"graph: a sparse matrix must be square, got shape {matrix.shape}")
    coo = matrix.tocoo(copy=True)
    coo.sum_duplicates()  # a sparse entry's value is the sum of its duplicates
    rows, cols, data = np.asarray(coo.row, dtype=np.int64), np.asarray(coo.col, dtype=np.int64), coo.data
    upper, lower = rows < cols, rows > cols
    if upper.any() and lower.any():
        # Both triangles: each edge is there twice, and must be the same both ways.
        transposed = coo.T.tocsr()
        if (abs(coo.tocsr() - transposed) > 0).nnz:
            raise ValueError("graph: a sparse matrix must be symmetric or triangular (it is read as undirected)")
        keep = upper
    else:
        keep = upper | lower
    return _Edges(rows[keep], cols[keep], arrays._floats("graph weights", data[keep]), int(matrix.shape[0]), None)


def _triple(graph: tuple[Any, Any, Any], n_nodes: int | None) -> _Edges:
    rows = arrays._indices("graph rows", graph[0])
    cols = arrays._indices("graph cols", graph[1])
    weights = arrays._floats("graph weights", graph[2])
    if not len(rows) == len(cols) == len(weights):
        raise ValueError(f"graph: rows, cols and weights differ in length ({len(rows)}, {len(cols)}, {len(weights)})")
    if n_nodes is None:
        n = int(max(rows.max(), cols.max())) + 1 if len(rows) else 0
    else:
        n = arrays._count("n_nodes", n_nodes)
    return _Edges(rows, cols, weights, n, None)


def _read(graph: GraphLike, weight: str, n_nodes: int | None) -> _Edges:
    if all(hasattr(graph, a) for a in ("is_directed", "is_multigraph", "nodes", "edges")):
        if n_nodes is not None:
            raise TypeError("n_nodes: a networkx graph has its own nodes; n_nodes is for (rows, cols, weights)")
        return _networkx(graph, weight)
    if n_nodes is not None and not isinstance(graph, tuple):
        raise TypeError("n_nodes: only (rows, cols, weights) input takes n_nodes")
    if hasattr(graph, "tocoo") and hasattr(graph, "shape"):
        return _sparse(graph)
    if isinstance(graph, tuple) and len(graph) == 3:
        return _triple(graph, n_nodes)
    raise TypeError(f"graph: expected a networkx graph, a scipy.sparse matrix or a (rows, cols, weights) triple, "
                    f"not {type(graph).__name__}")


def min_cut(graph: GraphLike, *, weight: str = "weight", n_nodes: int | None = None) -> MinCut:
    """A global minimum cut of `graph`, exactly: ``MinCut(value, side, other)``.

    ``value`` is the total weight of the input edges between the two parts, summed exactly
    and rounded once to the nearest float (so it does not depend on any order of the edges);
    where every sum of the weights is exact in floating point (integers, dyadic fractions),
    it is the value :func:`tavik.tavik_core.stoer_wagner_bisect` gives. The side is the same
    on every run and thread count. A disconnected graph has value 0.0 and a smallest
    component as ``side``.

    Raises ``ValueError`` naming the input for fewer than 2 nodes, a weight that is negative,
    NaN or infinite, an index out of range, or weights whose sum overflows, and
    ``TypeError`` for a graph of another kind (a directed one included). ``MemoryError``
    comes before the work when it cannot fit."""
    if not isinstance(weight, str):
        raise TypeError(f"weight: expected an attribute name (str), not {type(weight).__name__}")
    edges = _read(graph, weight, n_nodes)
    if edges.n_nodes < 2:
        raise ValueError(f"graph: a cut needs at least 2 nodes, got {edges.n_nodes}")
    try:
        value, raw = _arrays.min_cut(edges.rows, edges.cols, edges.weights, edges.n_nodes)
    except ValueError as error:
        raise ValueError(_worded(str(error), edges)) from None
    side = np.frombuffer(raw, dtype=np.int64)
    in_side = np.zeros(edges.n_nodes, dtype=bool)
    in_side[side] = True
    other = np.flatnonzero(~in_side).astype(np.int64)
    if edges.labels is None:
        return MinCut(value, side, other)
    labels = edges.labels
    return MinCut(value, [labels[i] for i in side.tolist()], [labels[i] for i in other.tolist()])


def _worded(message: str, edges: _Edges) -> str:
    """The kernel's message about edge k, named as the caller gave the edge."""
    found = re.match(r"(?:edges (?:rows|cols))?(?:weights)?\[(\d+)\](.*)", message, re.S)
    if found is None:
        return f"graph: {message}"
    k = int(found.group(1))
    if edges.labels is not None:
        u, v = edges.labels[int(edges.rows[k])], edges.labels[int(edges.cols[k])]
        return f"graph: the weight of edge ({u!r}, {v!r}){found.group(2)}"
    what = "weights" if message.startswith("weights") else message.split("[")[0].replace("edges ", "")
    return f"graph {what}[{k}]{found.group(2)}"
