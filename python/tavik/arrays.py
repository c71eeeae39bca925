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
from collections.abc import Mapping, Sequence
from typing import Any, TypeAlias, cast

import numpy as np
import numpy.typing as npt

from tavik import _arrays

__all__ = ["simulate_qubo_runs"]

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


# --- error correction ---

__all__ += ["build_ecc_lookup_table", "logical_failure_probability"]

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
    n = _count("n_data", n_data)
    starts, qubits = _supports("z_stabilizers", z_stabilizers, n)
    if isinstance(logical_z, np.ndarray):
        logical: Indices = np.flatnonzero(_zero_one("logical_z", logical_z, 1, n)).astype(np.int64)
    else:
        logical = _indices("logical_z", logical_z, n, "n_data")
    rates = np.asarray(p)
    if rates.dtype.kind not in "biuf":
        raise TypeError(f"p: expected real numbers, not an array of {rates.dtype}")
    out = np.empty(rates.shape, dtype=np.float64)
    _arrays.logical_failure_probability(n, starts, qubits, logical, np.ascontiguousarray(rates, np.float64), out)
    return float(out) if out.ndim == 0 else out
