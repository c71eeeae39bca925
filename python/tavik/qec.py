"""Exact logical failure of codes under independent bit flips, past 26 data qubits.

A code's logical failure probability under bit flips at rate p, decoded by the
minimum-weight lookup decoder of :func:`tavik.tavik_core.build_ecc_lookup_table`
(ties: the lexicographically smallest pattern, qubit 0 first), is a polynomial

    P(p) = sum over w of A_w p^w (1 - p)^(n - w)

whose coefficient A_w counts the bit-flip patterns of weight w the decoder leaves
with a logical error. :func:`failure_polynomial` counts them exactly, weight by
weight up to a chosen ``max_weight`` W: a pattern of weight w only ever meets
corrections of weight at most w, so the decoder is built from those patterns
alone, and codes of 49 or 81 data qubits are in reach. The counts fix P at every
rate at once; where they stop short of n, :meth:`FailurePolynomial.bounds` gives
a certified interval (every uncounted pattern taken to fail, or not).

Codes are given as a distance (the rotated surface code of
:func:`tavik.tavik_core.ecc.build_surface_code`), a ``SurfaceCodePatch``, or a
pair ``(checks, logical)``: ``checks`` a 0/1 matrix (NumPy or scipy.sparse, one
row per Z check, one column per data qubit) and ``logical`` a 0/1 NumPy vector
or a list of qubit indices.

Counting runs on every core with the interpreter lock released, and on a Dask
cluster when a ``distributed.Client`` is given; the counts are the same exact
integers on any number of threads or workers.
"""

from __future__ import annotations

import math
from collections.abc import Callable, Mapping, Sequence
from typing import TYPE_CHECKING, Any, TypeAlias

import numpy as np
import numpy.typing as npt

from tavik import _arrays, arrays
from tavik import tavik_core as core

if TYPE_CHECKING:
    from distributed import Client

__all__ = ["FailurePolynomial", "crossing", "curves", "failure_polynomial"]

CodeLike: TypeAlias = "int | core.ecc.SurfaceCodePatch | tuple[Any, npt.ArrayLike | Sequence[int]]"
Bracket: TypeAlias = "float | tuple[float, float] | None"

# Bounds of an incomplete polynomial are widened by this much of their value,
# more than the rounding of their evaluation, so that they hold for the exact
# rational values.
_ROUNDING = 1e-12


class FailurePolynomial:
    """The failing patterns of a code by weight: ``counts[w]`` (an exact int) of
    the C(n, w) patterns of weight w, for w = 0 … ``max_weight``. Complete when
    ``max_weight == n``; otherwise the weights above it are unknown and
    :meth:`bounds` says how much they can matter."""

    __slots__ = ("counts", "max_weight", "n")

    n: int
    counts: tuple[int, ...]
    max_weight: int

    def __init__(self, n: int, counts: Sequence[int] | npt.NDArray[Any], max_weight: int | None = None) -> None:
        self.n = arrays._count("n", n)
        self.counts = tuple(int(c) for c in counts)
        self.max_weight = self.n if max_weight is None else arrays._count("max_weight", max_weight)
        if len(self.counts) != self.max_weight + 1 or self.max_weight > self.n:
            raise ValueError(f"counts: expected max_weight + 1 = {self.max_weight + 1} counts, max_weight <= n = "
                             f"{self.n}, got {len(self.counts)}")
        if any(not 0 <= c <= math.comb(self.n, w) for w, c in enumerate(self.counts)):
            raise ValueError("counts: counts[w] must lie in 0 … C(n, w)")

    @property
    def complete(self) -> bool:
        return self.max_weight == self.n

    def __repr__(self) -> str:
        return f"FailurePolynomial(n={self.n}, counts={self.counts}, max_weight={self.max_weight})"

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, FailurePolynomial):
            return NotImplemented
        return (self.n, self.counts, self.max_weight) == (other.n, other.counts, other.max_weight)

    def __hash__(self) -> int:
        return hash((self.n, self.counts, self.max_weight))

    def __call__(self, p: npt.ArrayLike) -> Any:
        """Σ_{w ≤ max_weight} A_w p^w (1 − p)^(n − w): the failure probability
        when complete, its lower bound otherwise. A float for a scalar `p`, an
        array of `p`'s shape otherwise. Every term is positive and each is
        formed by powers, so the result is within a few units in the last
        place times n of the exact value, at every rate."""
        return _shaped(p, self._lower(_rates(p)))

    def bounds(self, p: npt.ArrayLike) -> tuple[Any, Any]:
        """``(lo, hi)`` around the failure probability at `p`: lo from the
        counted weights, hi = lo + Σ_{w > max_weight} C(n, w) p^w (1 − p)^(n − w)
        (every uncounted pattern failing), each widened by 1e-12 of itself to
        cover rounding. Complete: lo = hi = ``self(p)``."""
        rates = _rates(p)
        lo = self._lower(rates)
        if self.complete:
            return _shaped(p, lo), _shaped(p, lo.copy())
        hi = (lo + _binomial_tail(self.n, self.max_weight, rates)) * (1 + _ROUNDING)
        return _shaped(p, lo * (1 - _ROUNDING)), _shaped(p, np.minimum(hi, 1.0))

    def pseudo_threshold(self) -> Bracket:
        """The rate in (0, 1/2) below which the code beats an unprotected bit:
        the first root of P(p) = p. A float when complete; when not, a certified
        bracket ``(lo, hi)`` (hi = 1/2 where the bounds cannot place the root
        below it). None when there is no such root: P(p) >= p already at the
        smallest rates, or P(p) < p all the way to 1/2."""
        return _first_crossing(FailurePolynomial(1, (0, 1)), self)  # P(p) against p

    def _lower(self, rates: npt.NDArray[np.float64]) -> npt.NDArray[np.float64]:
        return _weighted_sum(self.n, self.counts, rates)

    def _bounds(self, rates: npt.NDArray[np.float64]) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]:
        lo, hi = self.bounds(rates)
        return np.asarray(lo, dtype=np.float64), np.asarray(hi, dtype=np.float64)


def _rates(p: npt.ArrayLike) -> npt.NDArray[np.float64]:
    rates = arrays._rates("p", p)
    if np.any((rates < 0) | (rates > 1)):
        raise ValueError("p: rates must lie in [0, 1]")
    return rates


def _shaped(p: npt.ArrayLike, values: npt.NDArray[np.float64]) -> Any:
    return float(values) if np.ndim(p) == 0 else values


def _weighted_sum(n: int, coefficients: Sequence[int], rates: npt.NDArray[np.float64]) -> npt.NDArray[np.float64]:
    """Σ_w coefficients[w] p^w (1 − p)^(n − w) elementwise: positive terms, each
    a product of powers, summed in order of weight."""
    q = 1.0 - rates
    total = np.zeros_like(rates)
    for w, c in enumerate(coefficients):
        if c:
            total = total + float(c) * (_power(rates, w) * _power(q, n - w))
    return total


def _power(x: npt.NDArray[np.float64], k: int) -> npt.NDArray[np.float64]:
    """x^k by repeated squaring: within 2·log2(k) units in the last place, and
    the same bits for a rate wherever it sits in an array. NumPy's vector
    ``**`` gives another last bit than its scalar one, by alignment."""
    result = np.ones_like(x)
    while k:
        if k & 1:
            result = result * x
        k >>= 1
        if k:
            x = x * x
    return result


def _binomial_tail(n: int, above: int, rates: npt.NDArray[np.float64]) -> npt.NDArray[np.float64]:
    """Σ_{w > above} C(n, w) p^w (1 − p)^(n − w), term by term in logarithms
    (C(n, w) outgrows a float long before the terms stop mattering)."""
    total = np.zeros_like(rates)
    with np.errstate(divide="ignore"):
        log_p, log_q = np.log(rates), np.log1p(-rates)
    for w in range(above + 1, n + 1):
        log_c = math.lgamma(n + 1) - math.lgamma(w + 1) - math.lgamma(n - w + 1)
        with np.errstate(invalid="ignore"):
            exponent = log_c + np.where(w > 0, w * log_p, 0.0) + np.where(n > w, (n - w) * log_q, 0.0)
        total = total + np.exp(exponent)
    return total


# Where crossings are looked for: geometric below 1/4, even above, inside (0, 1/2).
_GRID = np.concatenate([np.geomspace(1e-9, 0.25, 400), np.linspace(0.25, 0.5, 101)[1:-1]])


def _first_root(f: Callable[[npt.NDArray[np.float64]], npt.NDArray[np.float64]]) -> float | None:
    """The first p of (0, 1/2) where f turns from negative to non-negative,
    found on the grid and then bisected to the last bit; None if it never does."""
    values = f(_GRID)
    turned = np.flatnonzero(values >= 0)
    if not turned.size or turned[0] == 0:
        return None
    lo, hi = float(_GRID[turned[0] - 1]), float(_GRID[turned[0]])
    while True:
        mid = 0.5 * (lo + hi)
        if mid in (lo, hi):
            return hi
        if f(np.array([mid]))[0] >= 0:
            hi = mid
        else:
            lo = mid


def _first_crossing(low: FailurePolynomial, high: FailurePolynomial) -> Bracket:
    """Where `high`, below `low` at small p, first reaches it: a float when both
    are complete, else the bracket (the first p where it may, the first where it
    must); None where it cannot."""
    if low.complete and high.complete:
        return _first_root(lambda p: high._lower(p) - low._lower(p))
    first = _first_root(lambda p: high._bounds(p)[1] - low._bounds(p)[0])
    if first is None:
        return None
    last = _first_root(lambda p: high._bounds(p)[0] - low._bounds(p)[1])
    return first, 0.5 if last is None else last


def crossing(a: FailurePolynomial, b: FailurePolynomial) -> Bracket:
    """The rate in (0, 1/2) where two codes' failure curves first cross (for a
    small and a large code, the threshold estimate the pair gives): a float
    when both polynomials are complete, a certified bracket ``(lo, hi)`` from
    their bounds otherwise, None if they do not cross there."""
    if not isinstance(a, FailurePolynomial) or not isinstance(b, FailurePolynomial):
        raise TypeError("crossing: expected two FailurePolynomials")
    start = np.array([_GRID[0]])
    low, high = (a, b) if a._lower(start)[0] >= b._lower(start)[0] else (b, a)
    return _first_crossing(low, high)


# --- codes ----------------------------------------------------------------------------


class _Code:
    """A code as the kernels read it: compressed check rows and logical indices."""

    def __init__(self, n: int, starts: arrays.Indices, qubits: arrays.Indices, logical: arrays.Indices) -> None:
        self.n, self.starts, self.qubits, self.logical = n, starts, qubits, logical

    def args(self) -> tuple[int, arrays.Indices, arrays.Indices, arrays.Indices]:
        return self.n, self.starts, self.qubits, self.logical


def _surface(patch: core.ecc.SurfaceCodePatch) -> _Code:
    n = len(patch.data_qubits)
    starts, qubits = arrays._supports("checks", patch.z_stabilizers, n)
    return _Code(n, starts, qubits, arrays._indices("logical", patch.logical_z))


def _checks(checks: Any) -> tuple[int, arrays.Indices, arrays.Indices]:
    """A dense or scipy.sparse 0/1 matrix as (n, starts, qubits)."""
    if hasattr(checks, "tocsr") and hasattr(checks, "shape"):  # scipy.sparse, read by duck typing
        csr = checks.tocsr(copy=True)
        csr.sum_duplicates()
        csr.eliminate_zeros()
        if csr.ndim != 2:
            raise ValueError(f"checks: expected a 2-D matrix, got shape {csr.shape}")
        if csr.data.size and not np.isin(csr.data, (1,)).all():
            raise ValueError("checks: entries must be 0 or 1")
        return (int(csr.shape[1]), arrays._native(csr.indptr.astype(np.int64)),
                arrays._native(csr.indices.astype(np.int64)))  # fmt: skip
    matrix = np.asarray(checks)
    if matrix.ndim != 2:
        raise ValueError(f"checks: expected a 0/1 matrix (one row per check), got shape {matrix.shape}")
    starts, qubits = arrays._supports("checks", matrix, matrix.shape[1])
    return int(matrix.shape[1]), starts, qubits


def _code(code: CodeLike) -> _Code:
    if isinstance(code, core.ecc.SurfaceCodePatch):
        return _surface(code)
    if isinstance(code, (int, np.integer)) and not isinstance(code, bool):
        return _surface(core.ecc.build_surface_code(int(code)))
    if not isinstance(code, tuple) or len(code) != 2:
        raise TypeError(f"code: expected a distance, a SurfaceCodePatch or (checks, logical), not "
                        f"{type(code).__name__}")
    n, starts, qubits = _checks(code[0])
    logical = code[1]
    if isinstance(logical, np.ndarray):
        indices: arrays.Indices = np.flatnonzero(arrays._zero_one("logical", logical, 1, n)).astype(np.int64)
    else:
        indices = arrays._indices("logical", logical)
    return _Code(n, starts, qubits, indices)


# --- counting -------------------------------------------------------------------------

# The full table is one pass over 2^n patterns at a small fraction of the
# weight walk's cost per pattern.
_TABLE_ADVANTAGE = 32


def _use_table(code: _Code, max_weight: int) -> bool:
    walked = sum(math.comb(code.n, w) for w in range(max_weight + 1))
    return code.n <= 26 and len(code.starts) - 1 <= 32 and 2**code.n <= _TABLE_ADVANTAGE * walked


def _slice_counts(n: int, starts: arrays.Indices, qubits: arrays.Indices, logical: arrays.Indices, max_weight: int,
                  slice_bits: int, first: int, last: int) -> npt.NDArray[np.uint64]:
    """One task's share: the failing patterns whose syndromes lie in slices
    [first, last) of 2**slice_bits."""
    starts, qubits, logical = (arrays._native(a) for a in (starts, qubits, logical))
    counts = _arrays._qec_failure_counts(n, starts, qubits, logical, max_weight, slice_bits, first, last)
    return np.frombuffer(counts, dtype=np.uint64)


def _counts(code: _Code, max_weight: int, method: str, client: Client | None) -> list[int]:
    if method == "table":
        complete = np.frombuffer(_arrays._qec_complete_failure_counts(*code.args()), dtype=np.uint64)
        return [int(c) for c in complete]
    if client is None:
        return [int(c) for c in _slice_counts(*code.args(), max_weight, 0, 0, 1)]
    from tavik import sweep

    distributed = sweep._distributed()
    if not isinstance(client, distributed.Client):
        raise TypeError(f"client: expected a distributed.Client or None, not {type(client).__name__}")
    _arrays._qec_failure_counts(*code.args(), max_weight, 0, 0, 0)  # the code's errors, here and before any task
    # A few tasks per worker thread balance uneven slices.
    bits = max(1, (4 * sum(client.nthreads().values()) - 1).bit_length())
    futures = [client.submit(_slice_counts, *code.args(), max_weight, bits, k, k + 1, pure=False)
               for k in range(2**bits)]  # fmt: skip
    parts = sweep._gather(client, futures, False)
    return [sum(int(part[w]) for part in parts) for w in range(max_weight + 1)]


def failure_polynomial(code: CodeLike, *, max_weight: int | None = None,
                       client: Client | None = None) -> FailurePolynomial:
    """The failing patterns of `code` by weight, exactly, for weights 0 …
    `max_weight` (None: every weight, n). Codes within the full decoder table's
    reach (26 data qubits, 32 checks) whose table is cheaper than the walk come
    back complete whatever `max_weight`, with the counts the core's table
    implies. Memory: one table of syndromes per thread, for those met by the
    patterns walked; MemoryError before any work where not even the smallest
    share would fit.

    With `client` (a ``distributed.Client``) the syndromes are shared out
    among tasks that need nothing of one another, a few per worker thread;
    their counts add up to exactly the local ones. Codes counted from the
    full table are counted in this process, which takes milliseconds."""
    parsed = _code(code)
    weight = parsed.n if max_weight is None else min(arrays._count("max_weight", max_weight), parsed.n)
    if _use_table(parsed, weight):
        return FailurePolynomial(parsed.n, _counts(parsed, parsed.n, "table", None))
    return FailurePolynomial(parsed.n, _counts(parsed, weight, "walk", client), weight)


# --- tables of curves -------------------------------------------------------------------


def _label(code: object, k: int) -> str:
    if isinstance(code, core.ecc.SurfaceCodePatch):
        return f"surface d={code.distance}"
    if isinstance(code, (int, np.integer)) and not isinstance(code, bool):
        return f"surface d={int(code)}"
    return f"code {k}"


def curves(codes: Mapping[str, CodeLike | FailurePolynomial] | Sequence[CodeLike | FailurePolynomial],
           p: npt.ArrayLike, *, max_weight: int | None = None,
           client: Client | None = None) -> dict[str, npt.NDArray[Any]]:
    """Failure curves of several codes as a table of columns, one row per
    (code, rate): ``code`` (its label: the mapping's key, or ``surface d=…``
    for a distance or patch), ``n``, ``p``, ``P_L`` (the counted weights' sum),
    ``lo`` and ``hi`` (:meth:`FailurePolynomial.bounds`). Codes may be given
    as polynomials already counted; the others are counted with `max_weight`
    and `client` as by :func:`failure_polynomial`."""
    items = (list(codes.items()) if isinstance(codes, Mapping)
             else [(_label(c, k), c) for k, c in enumerate(codes)])  # fmt: skip
    rates = _rates(p).ravel()
    columns: dict[str, list[Any]] = {name: [] for name in ("code", "n", "p", "P_L", "lo", "hi")}
    for label, code in items:
        poly = code if isinstance(code, FailurePolynomial) else failure_polynomial(
            code, max_weight=max_weight, client=client)
        lo, hi = poly._bounds(rates)
        for name, values in (("code", [label] * rates.size), ("n", [poly.n] * rates.size), ("p", rates),
                             ("P_L", poly._lower(rates)), ("lo", lo), ("hi", hi)):  # fmt: skip
            columns[name].extend(values)
    return {"code": np.array(columns["code"], dtype=str), "n": np.array(columns["n"], dtype=np.int64),
            **{name: np.array(columns[name], dtype=np.float64) for name in ("p", "P_L", "lo", "hi")}}
