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
    return np.require(arr, requirements="CA")


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
        low, high = (v if np.isinf(v) else int(v) for v in (arr.min(), arr.max()))
        if low < 0:
            raise ValueError(f"{name}: index {low} is negative")
        if high >= limit:
            raise ValueError(f"{name}: index {high} is out of range for {limit_name} = {limit}")
    if arr.dtype not in (np.int64, np.uint64):
        arr = arr.astype(np.int64)
    return _native(arr)


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
    rows, cols, weights = _qubo("qubo", qubo, len(bits), "len(base_bits)")
    count = _count("n_runs", n_runs)
    runs, energies = _arrays.simulate_qubo_runs(rows, cols, weights, bits, count, noise_level, seed)
    return np.frombuffer(runs, dtype=np.uint8).reshape(count, len(bits)), np.frombuffer(energies, dtype=np.float64)


# --- exhaustive enumeration and the statevector ---------------------------------------

# The enumerations' and the statevector's own size limits: beyond them the
# kernels raise SizeViolation before reading a term, so indices are checked
# here only within them.
_MAX_ENUMERATED = 20
_MAX_QUBITS = 24
_NO_LIMIT = 2**64  # above every 64-bit index


def _fields(name: str, fields: FieldsLike, n: int, n_name: str) -> tuple[Indices, Floats]:
    """Local fields as (sites, values) columns, in the order the core reads
    the equivalent (site, value) list."""
    if isinstance(fields, tuple) and len(fields) == 2:
        sites, values = fields
    elif isinstance(fields, Sequence) and not isinstance(fields, str):
        pairs = cast(Sequence[Any], fields)
        if not all(isinstance(p, Sequence) and not isinstance(p, str) and len(p) == 2 for p in pairs):
            raise TypeError(f"{name}: expected (site, value) pairs")
        sites = [p[0] for p in pairs]
        values = [p[1] for p in pairs]
    else:
        raise TypeError(f"{name}: expected a (sites, values) pair of arrays or a list of (site, value) pairs, "
                        f"not {type(fields).__name__}")
    s = _indices(f"{name} sites", sites, n, n_name)
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
    rows, cols, weights = _qubo("qubo", qubo, n if n <= _MAX_ENUMERATED else _NO_LIMIT, "n_vars")
    best, energy, spectrum = _arrays.qubo_energy_spectrum(rows, cols, weights, n)
    return np.frombuffer(best, dtype=np.uint8), energy, np.frombuffer(spectrum, dtype=np.float64)


def exact_ising_norm(dh: FieldsLike, dj: QuboLike, n_sites: int) -> float:
    """The largest ``|Σ dh·s_site + Σ dj·s_i·s_j|`` over every spin configuration of
    `n_sites` sites (NaN energies ignored), evaluated on every core, exactly as
    :func:`tavik.tavik_core.exact_ising_norm` computes it. `dh` is a
    ``(sites, values)`` tuple of arrays or a list of ``(site, value)`` pairs;
    `dj` a QUBO in any form."""
    n = _count("n_sites", n_sites)
    limit = n if n <= _MAX_ENUMERATED else _NO_LIMIT
    sites, values = _fields("dh", dh, limit, "n_sites")
    rows, cols, weights = _qubo("dj", dj, limit, "n_sites")
    return _arrays.exact_ising_norm(sites, values, rows, cols, weights, n)


_SINGLE_QUBIT_PARAMETERS = {"h": 0, "x": 0, "y": 0, "z": 0, "s": 0, "t": 0, "rx": 1, "ry": 1, "rz": 1, "u": 3}
_TWO_QUBIT_GATES = ("cx", "cz", "swap")


def _is_sequence(value: object) -> bool:
    """Whether the core's conversion reads `value` as a sequence."""
    return not isinstance(value, (str, dict)) and hasattr(type(value), "__getitem__")


def _readable(instruction: object) -> tuple[str, list[int], int] | None:
    """(gate, qubits, number of parameters) of an instruction the core's
    conversion accepts; None for one it refuses (it then reports why)."""
    if not isinstance(instruction, tuple) or len(instruction) != 3:
        return None
    gate, qubits, params = instruction
    if not (isinstance(gate, str) and _is_sequence(qubits) and _is_sequence(params)):
        return None
    try:
        indices = [operator.index(q) for q in qubits]
        values = list(params)
    except Exception:  # noqa: BLE001 - what stops this reading stops the core's too
        return None
    if any(not 0 <= q < _NO_LIMIT for q in indices):
        return None
    if not all(hasattr(type(p), "__float__") or hasattr(type(p), "__index__") for p in values):
        return None
    return gate, indices, len(values)


def _check_instructions(instructions: object, n: int) -> None:
    """Raise ValueError naming the first instruction the kernel would fail on
    with an index failure (no qubits, a missing parameter, a target beyond the
    state). The core converts every instruction before running any, so
    nothing is checked when one does not convert; an unknown gate ends the
    check, and the kernel reports it."""
    if not _is_sequence(instructions):
        return
    read = [_readable(i) for i in cast(Sequence[object], instructions)]
    if any(r is None for r in read):
        return
    for k, r in enumerate(read):
        gate, qubits, n_params = cast(tuple[str, list[int], int], r)
        where = f"instructions[{k}] ({gate!r})"
        if not qubits:
            raise ValueError(f"{where}: no qubit given")
        if len(qubits) == 1:
            if gate not in _SINGLE_QUBIT_PARAMETERS:
                return
            if n_params < _SINGLE_QUBIT_PARAMETERS[gate]:
                raise ValueError(f"{where}: takes {_SINGLE_QUBIT_PARAMETERS[gate]} parameter(s), got {n_params}")
            if qubits[0] >= n:
                raise ValueError(f"{where}: qubit {qubits[0]} is out of range for n_qubits = {n}")
            continue
        if gate not in _TWO_QUBIT_GATES:
            return
        q0, q1 = qubits[0], qubits[1]
        # cz touches only states with both qubits set, and cx and swap only
        # states with q0 set and q1 clear: beyond the state, those are none.
        if gate != "cz" and q0 < n and q0 != q1 and q1 >= n:
            raise ValueError(f"{where}: qubit {q1} is out of range for n_qubits = {n}")


def run_statevector(instructions: Sequence[tuple[str, Sequence[int], Sequence[float]]],
                    n_qubits: int) -> npt.NDArray[np.complex128]:
    """The state after running `instructions` (``(gate, qubits, params)``, as
    :func:`tavik.tavik_core.run_statevector` takes them) on ``|0…0⟩`` of `n_qubits`
    qubits: ``complex128[2**n_qubits]``, amplitude k that of basis index k (qubit q
    is bit q), exactly as the core computes it; gates run on every core. An
    instruction with no qubit, a missing parameter or a target beyond the state
    raises ValueError naming it."""
    n = _count("n_qubits", n_qubits)
    if n <= _MAX_QUBITS:
        _check_instructions(instructions, n)
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
        qubits = _indices(name, np.concatenate(lists) if lists else [], n_data, "n_data")
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
        logical = _indices(f"{where}logical_z", logical_z, n, "n_data")
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
