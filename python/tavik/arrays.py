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
  safely. Value arrays of the native dtype and layout (float64,
  C-contiguous) are read in place, others converted once; indices are
  copied, so that another thread writing them during a call cannot move an
  index the call has checked.

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

# Before NumPy: in a second interpreter, which this module refuses, the error
# then names it, not NumPy (which refuses too once another interpreter has it).
from tavik import _arrays  # isort: skip

import numpy as np
import numpy.typing as npt

__all__ = [
    "build_ecc_lookup_table",
    "exact_ising_norm",
    "logical_failure_probability",
    "qubo_energy_spectrum",
    "run_statevector",
    "simulate_qubo_runs",
    "stoer_wagner_bisect",
    "vrp_qubo_matrix",
]

Indices: TypeAlias = npt.NDArray[np.uint64] | npt.NDArray[np.int64]
Floats: TypeAlias = npt.NDArray[np.float64]
QuboLike: TypeAlias = (
    Mapping[tuple[int, int], float]
    | tuple[npt.ArrayLike, npt.ArrayLike, npt.ArrayLike]
    | npt.NDArray[Any]
    | Sequence[tuple[tuple[int, int], float]]
)
FieldsLike: TypeAlias = tuple[npt.ArrayLike, npt.ArrayLike] | Sequence[tuple[int, float]]


# --- argument checks: one place for each rule ---------------------------------------


def _native(arr: npt.NDArray[Any]) -> npt.NDArray[Any]:
    """`arr` in the layout the native layer reads: C-contiguous and aligned
    (arrays unpickled from a network buffer may not be), copied only if not."""
    return np.require(arr, requirements=("C", "A"))


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
    return _native(arr)


def _indices(name: str, values: npt.ArrayLike) -> Indices:
    """A 1-D array of indices as int64 or uint64, read in place when it
    already is one. Whether each is in range is the kernel's to say."""
    arr = np.asarray(values)
    if arr.size == 0:
        arr = arr.astype(np.int64)
    if arr.ndim != 1:
        raise ValueError(f"{name}: expected a 1-D array of indices, got shape {arr.shape}")
    if arr.dtype.kind == "f":
        if not np.isfinite(arr).all():
            bad = arr[~np.isfinite(arr)][0]
            raise ValueError(f"{name}: {'NaN' if np.isnan(bad) else bad} where an index is expected")
        if not np.array_equal(arr, np.floor(arr)):
            raise ValueError(f"{name}: indices must be whole numbers")
        if arr.size and arr.max() >= 2.0**64:
            raise ValueError(f"{name}: index {int(arr.max())} does not fit in 64 bits")
        arr = arr.astype(np.uint64) if arr.size and arr.max() >= 2.0**63 else arr
    elif arr.dtype.kind not in "iu":
        raise TypeError(f"{name}: expected integer indices, not an array of {arr.dtype}")
    if arr.size and arr.min() < 0:
        raise ValueError(f"{name}: index {int(arr.min())} is negative")
    if arr.dtype not in (np.int64, np.uint64):
        arr = arr.astype(np.int64)
    return _native(arr)


def _read(name: str, read: Any, value: object, dtypes: tuple[Any, ...]) -> list[npt.NDArray[Any]]:
    """The columns of `value` read as tavik_core reads its list form (`read`,
    a reader of the native layer, gives them as buffers of `dtypes`), with its
    errors named by `name`."""
    try:
        columns = read(value)
    except (TypeError, ValueError) as error:
        message = str(error)
        if message.startswith("argument '"):
            message = message.partition(": ")[2]
        raise type(error)(f"{name}: {message}") from None
    return [np.frombuffer(column, dtype=dtype) for column, dtype in zip(columns, dtypes)]


def _qubo(name: str, qubo: QuboLike) -> tuple[Indices, Indices, Floats]:
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
    elif isinstance(qubo, Sequence) and not isinstance(qubo, str):
        try:  # a tuple of three terms is a term list, as the core reads it
            rows, cols, weights = _read(name, _arrays.read_terms, qubo, (np.uint64, np.uint64, np.float64))
        except (TypeError, ValueError):
            if not (isinstance(qubo, tuple) and len(qubo) == 3):
                raise
            rows, cols, weights = qubo
    else:
        raise TypeError(
            f"{name}: expected a mapping, a (rows, cols, weights) triple, a square array or a term list, "
            f"not {type(qubo).__name__}"
        )
    r = _indices(f"{name} rows", rows)
    c = _indices(f"{name} cols", cols)
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
    return _native(arr.astype(np.uint8, copy=False))


# --- noisy runs -------------------------------------------------------------------


def simulate_qubo_runs(
    qubo: QuboLike, base_bits: npt.ArrayLike, n_runs: int, noise_level: float, seed: int
) -> tuple[npt.NDArray[np.uint8], Floats]:
    """Noisy runs of a QUBO: ``(runs, energies)``, ``runs[k]`` the k-th noisy copy of
    `base_bits` (``uint8[n_runs, n]``) and ``energies[k]`` its energy, exactly as
    :func:`tavik.tavik_core.simulate_qubo_runs` draws and sums them. Energies are
    evaluated on every core."""
    bits = _bits("base_bits", base_bits)
    rows, cols, weights = _qubo("qubo", qubo)
    count = _count("n_runs", n_runs)
    runs, energies = _arrays.simulate_qubo_runs(rows, cols, weights, bits, count, noise_level, seed)
    return np.frombuffer(runs, dtype=np.uint8).reshape(count, len(bits)), np.frombuffer(energies, dtype=np.float64)


# --- exhaustive enumeration and the statevector ---------------------------------------

def _fields(name: str, fields: FieldsLike) -> tuple[Indices, Floats]:
    """Local fields as (sites, values) columns, in the order the core reads
    the equivalent (site, value) list."""
    sites: Any
    values: Any
    if not isinstance(fields, Sequence) or isinstance(fields, str):
        raise TypeError(f"{name}: expected a (sites, values) pair of arrays or a list of (site, value) pairs, "
                        f"not {type(fields).__name__}")
    try:  # a tuple of two pairs is a list of pairs, as the core reads it
        sites, values = _read(name, _arrays.read_fields, fields, (np.uint64, np.float64))
    except (TypeError, ValueError):
        if not (isinstance(fields, tuple) and len(fields) == 2):
            raise
        sites, values = fields
    s = _indices(f"{name} sites", sites)
    v = _floats(f"{name} values", values)
    if len(s) != len(v):
        raise ValueError(f"{name}: sites and values differ in length ({len(s)}, {len(v)})")
    return s, v


def qubo_energy_spectrum(qubo: QuboLike, n_vars: int) -> tuple[npt.NDArray[np.uint8], float, Floats]:
    """Every 0/1 assignment of `n_vars` variables (variable k is bit k of the
    assignment index), evaluated on every core: ``(best, energy, spectrum)``,
    `best` the first assignment of strictly lowest energy (``uint8[n_vars]``),
    `energy` that energy, and `spectrum` the ascending distinct energies rounded
    to 1e-9 (``float64[k]``), exactly as :func:`tavik.tavik_core.qubo_energy_spectrum`
    computes them."""
    n = _count("n_vars", n_vars)
    rows, cols, weights = _qubo("qubo", qubo)
    best, energy, spectrum = _arrays.qubo_energy_spectrum(rows, cols, weights, n)
    return np.frombuffer(best, dtype=np.uint8), energy, np.frombuffer(spectrum, dtype=np.float64)


def exact_ising_norm(dh: FieldsLike, dj: QuboLike, n_sites: int) -> float:
    """The largest ``|Σ dh·s_site + Σ dj·s_i·s_j|`` over every spin configuration of
    `n_sites` sites (NaN energies ignored), evaluated on every core, exactly as
    :func:`tavik.tavik_core.exact_ising_norm` computes it. `dh` is a
    ``(sites, values)`` tuple of arrays or a list of ``(site, value)`` pairs;
    `dj` a QUBO in any form."""
    n = _count("n_sites", n_sites)
    sites, values = _fields("dh", dh)
    rows, cols, weights = _qubo("dj", dj)
    return _arrays.exact_ising_norm(sites, values, rows, cols, weights, n)


def run_statevector(instructions: Sequence[tuple[str, Sequence[int], Sequence[float]]],
                    n_qubits: int) -> npt.NDArray[np.complex128]:
    """The state after running `instructions` (``(gate, qubits, params)``, as
    :func:`tavik.tavik_core.run_statevector` takes them) on ``|0…0⟩`` of `n_qubits`
    qubits: ``complex128[2**n_qubits]``, amplitude k that of basis index k (qubit q
    is bit q), exactly as the core computes it; gates run on every core. An
    instruction with no qubit, a missing parameter, a target beyond the state or
    an unknown gate raises ValueError naming it."""
    n = _count("n_qubits", n_qubits)
    return np.frombuffer(_arrays.run_statevector(instructions, n), dtype=np.complex128)


# --- error correction -----------------------------------------------------------------

Supports: TypeAlias = npt.NDArray[Any] | Sequence[npt.ArrayLike]


def _zero_one(name: str, values: npt.NDArray[Any], ndim: int, n_data: int) -> npt.NDArray[np.bool_]:
    """A 0/1 array of `ndim` dimensions, the last over the data qubits, as booleans."""
    if values.dtype.kind not in "biuf":
        raise TypeError(f"{name}: expected 0/1 entries, not an array of {values.dtype}")
    if values.ndim != ndim or values.shape[-1] != n_data:
        shape = "(m, n_data)" if ndim == 2 else "(n_data,)"
        raise ValueError(f"{name}: expected a 0/1 array of shape {shape}, n_data = {n_data}, got shape {values.shape}")
    if not np.isin(values, (0, 1)).all():
        raise ValueError(f"{name}: entries must be 0 or 1")
    return values.astype(np.bool_)


def _supports(name: str, supports: Supports, n_data: int) -> tuple[Indices, Indices]:
    """Supports as compressed rows (starts, qubits): support j is
    qubits[starts[j]:starts[j + 1]]; a 0/1 row lists its set columns in
    ascending order."""
    qubits: Indices
    if isinstance(supports, np.ndarray):
        dense = _zero_one(name, supports, 2, n_data)
        qubits = np.nonzero(dense)[1].astype(np.int64)
        lengths = np.count_nonzero(dense, axis=1)
    elif isinstance(supports, Sequence) and not isinstance(supports, str):
        lists = [np.asarray(s) for s in supports]
        for j, s in enumerate(lists):
            if s.ndim != 1:
                raise ValueError(f"{name}[{j}]: expected a list of indices, got shape {s.shape}")
        qubits = _indices(name, np.concatenate(lists) if lists else [])
        lengths = np.array([len(s) for s in lists], dtype=np.int64)
    else:
        raise TypeError(f"{name}: expected a 0/1 array or a list of index lists, not {type(supports).__name__}")
    starts = np.zeros(len(lengths) + 1, dtype=np.int64)
    np.cumsum(lengths, out=starts[1:])
    return starts, qubits


def build_ecc_lookup_table(
    n_data: int, z_stabilizers: Supports
) -> tuple[npt.NDArray[np.uint64], npt.NDArray[np.uint64]]:
    """The minimum-weight lookup decoder of a code under bit flips, as
    ``(syndromes, corrections)`` (``uint64[rows]`` each): one row per
    producible syndrome, ascending; bit i of a syndrome is stabilizer i, bit q
    of a correction is data qubit q. The rows of
    :func:`tavik.tavik_core.build_ecc_lookup_table`, bit for bit, built on
    every core.

    `z_stabilizers` is a 0/1 array with one row per stabilizer and one column
    per data qubit, or the core's list of index lists."""
    n = _count("n_data", n_data)
    starts, qubits = _supports("z_stabilizers", z_stabilizers, n)
    syndromes, corrections = _arrays.build_ecc_lookup_table(n, starts, qubits)
    return np.frombuffer(syndromes, dtype=np.uint64), np.frombuffer(corrections, dtype=np.uint64)


def logical_failure_probability(
    n_data: int, z_stabilizers: Supports, logical_z: npt.ArrayLike, p: npt.ArrayLike
) -> float | Floats:
    """The exact probability that independent bit flips at rate `p`, corrected
    by the lookup decoder, leave a residual that anticommutes with
    `logical_z`: a float for a scalar `p`, a float64 array of `p`'s shape for
    an array of rates, each element the value of
    :func:`tavik.tavik_core.logical_failure_probability` at that rate, bit for
    bit (rates are not range-checked). The code is prepared once for every
    rate, and the rates are evaluated on every core.

    `z_stabilizers` as for :func:`build_ecc_lookup_table`; `logical_z` is a
    0/1 array over the data qubits, or the core's list of indices."""
    code = _code(n_data, z_stabilizers, logical_z)
    rates = _rates("p", p)
    out = np.frombuffer(_arrays.logical_failure_probability(*code, rates), dtype=np.float64).reshape(rates.shape)
    return float(out) if out.ndim == 0 else out


def _code(n_data: int, z_stabilizers: Supports, logical_z: npt.ArrayLike,
          where: str = "") -> tuple[int, Indices, Indices, Indices]:
    """A code as the kernels read it: (n_data, starts, qubits, logical_z
    indices). `where` goes before each argument's name in messages."""
    n = _count(f"{where}n_data", n_data)
    starts, qubits = _supports(f"{where}z_stabilizers", z_stabilizers, n)
    if isinstance(logical_z, np.ndarray):
        logical: Indices = np.flatnonzero(_zero_one(f"{where}logical_z", logical_z, 1, n)).astype(np.int64)
    else:
        logical = _indices(f"{where}logical_z", logical_z)
    return n, starts, qubits, logical


def _rates(name: str, p: npt.ArrayLike) -> Floats:
    """Rates of any real dtype and any shape, as float64 (not range-checked)."""
    rates = np.asarray(p)
    if rates.dtype.kind not in "biuf":
        raise TypeError(f"{name}: expected real numbers, not an array of {rates.dtype}")
    return _native(rates.astype(np.float64, copy=False))

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
    q, labels = _arrays.vrp_qubo_matrix(values, rows, penalty_a, penalty_b)
    return np.frombuffer(q, dtype=np.float64).reshape(len(labels), len(labels)), labels


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
    if not isinstance(edges, Sequence) or isinstance(edges, str):
        raise TypeError(
            f"{name}: expected an (m, 3) array, a (u, v, w) triple, a networkx graph or an edge list, "
            f"not {type(edges).__name__}"
        )
    try:  # a tuple of three edges is an edge list, as the core reads it
        u, v, w = _read(name, _arrays.read_edges, edges, (np.uint64, np.uint64, np.float64))
    except (TypeError, ValueError):
        if not (isinstance(edges, tuple) and len(edges) == 3):
            raise
        return edges
    return u, v, w


def stoer_wagner_bisect(edges: EdgesLike, n_nodes: int) -> tuple[float, npt.NDArray[np.int64]]:
    """A global minimum cut of the undirected graph on nodes ``0..n_nodes-1``:
    ``(weight, side)``, ``side`` the nodes of one part (``int64``, in the order
    :func:`tavik.tavik_core.stoer_wagner_bisect` lists them), the other part every
    remaining node. Edges come as an ``(m, 3)`` array of ``(u, v, w)`` rows, a triple
    of arrays ``(u, v, w)``, a networkx graph with integer nodes (attribute
    ``"weight"``, 1.0 where absent; edges in ``edges(data=True)`` order) or the
    core's list of ``(i, j, w)`` (so a tuple of three such edges is three edges);
    parallel edges add up and self-loops count for nothing. Fewer than two nodes, or
    no finite cut, raise the core's ValueError; an endpoint of no node, a
    ValueError naming the edge."""
    u, v, w = _edges("edges", edges)
    n = _count("n_nodes", n_nodes)
    first = _indices("edges u", u)
    second = _indices("edges v", v)
    weights = _floats("edges w", w)
    if not (len(first) == len(second) == len(weights)):
        raise ValueError(f"edges: u, v and w differ in length ({len(first)}, {len(second)}, {len(weights)})")
    weight, side = _arrays.stoer_wagner_bisect(first, second, weights, n)
    return weight, np.frombuffer(side, dtype=np.int64)
