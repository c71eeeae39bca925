"""tavik.qubo: lowest states and levels against dimod's ExactSolver and NumPy sums in the
model's own term order (tavik_core's spectrum order), bit for bit, including models whose
rounding the Gray-code walk gets wrong unless it re-checks its candidates."""

import re
import sys
import threading
import types

import numpy as np
import pytest

from tavik import _progress, qubo
from tavik.exceptions import SizeViolation
from support import run_child


def brute(rows, cols, weights, offset, spin, idx):
    """Energies of the assignments `idx`, each term added in list order (in cache-sized runs)."""
    out = np.empty(len(idx))
    for start in range(0, len(idx), 2**16):
        part = idx[start : start + 2**16]
        bit = [((part >> part.dtype.type(v)) & 1).astype(bool) for v in range(max(rows.max(), cols.max()) + 1)]
        e = np.full(len(part), offset + 0.0)
        for r, c, w in zip(rows, cols, weights):
            e += np.where(~bit[r] if r == c else bit[r] ^ bit[c], -w, w) if spin else np.where(bit[r] & bit[c], w, 0.0)
        out[start : start + len(part)] = e
    return out


def ranked(idx, energies, k):
    """The k lowest (index, energy) pairs by energy, then index."""
    if len(energies) > 4 * k:
        below = energies <= np.partition(energies, k)[k]
        idx, energies = idx[below], energies[below]
    order = np.lexsort((idx, energies))[:k]
    return idx[order], energies[order]


def keys(energies):
    """The spectrum's keys: energy × 1e9 rounded half away from zero."""
    x = energies * 1e9
    t = np.trunc(x)
    return (t + np.where(np.abs(x - t) >= 0.5, np.sign(x), 0.0)).astype(np.int64)


def index_of(result):
    return ((result.samples > 0).astype(np.uint64) << np.arange(len(result.variables), dtype=np.uint64)).sum(1)


def tenths(rng, m):
    """Weights with many equal sums, rounded differently in different orders."""
    return rng.integers(-3, 4, m) * 0.1


def random_model(rng, n, density=0.5, weights=lambda rng, m: rng.uniform(-1, 1, m)):
    """Columns with a linear term on every variable and couplings in both orientations."""
    pairs = [(i, i) for i in range(n)] + [(i, j) for i in range(n) for j in range(n) if i != j and rng.random() < density / 2]
    rng.shuffle(pairs)
    rows, cols = (np.array([p[k] for p in pairs], dtype=np.int64) for k in (0, 1))
    return rows, cols, weights(rng, len(pairs))


def check_space(model, spin, columns, offset, idx, k_states, k_levels):
    """lowest and levels of `model` against brute force over `idx` (which must hold them)."""
    e = brute(*columns, offset, spin, idx)
    best_idx, best_e = ranked(idx, e, k_states)
    low = qubo.lowest(model, k_states, vartype="SPIN" if spin else "BINARY")
    assert np.array_equal(index_of(low), best_idx.astype(np.uint64)) and low.energies.tobytes() == best_e.tobytes()
    if not k_levels:
        return
    levels, counts = qubo.levels(model, k_levels, vartype="SPIN" if spin else "BINARY")
    expected, expected_counts = np.unique(keys(e), return_counts=True)
    assert np.array_equal(levels, expected[:k_levels] / 1e9) and np.array_equal(counts, expected_counts[:k_levels])


# --- against dimod, tavik_core and NumPy ------------------------------------------------------


@pytest.mark.parametrize("n, vartype, form, dyadic", [
    (1, "SPIN", "bqm", True), (6, "BINARY", "mapping", True), (11, "SPIN", "pair", True),
    (16, "BINARY", "bqm", True), (16, "SPIN", "pair", False), (13, "BINARY", "mapping", False),
])  # fmt: skip
def test_agrees_with_exact_solver(n, vartype, form, dyadic):
    dimod = pytest.importorskip("dimod")
    rng = np.random.default_rng(n)
    labels = [("x", int(i)) if i % 3 else f"v{i}" for i in rng.permutation(n)]
    draw = (lambda: rng.integers(-8, 9) / 4) if dyadic else (lambda: rng.uniform(-1, 1))
    terms = {(u, u): draw() for u in labels} | {(u, v): draw() for u in labels for v in labels
                                                if u != v and rng.random() < 0.25}  # fmt: skip
    offset = 0.0 if form == "mapping" else 1.25
    bqm = dimod.BQM({u: w for (u, v), w in terms.items() if u == v},
                    {(u, v): w for (u, v), w in terms.items() if u != v}, offset, vartype)  # fmt: skip
    model = {"bqm": bqm, "mapping": terms, "pair": (terms, offset)}[form]
    low = qubo.lowest(model, 2**n, vartype=None if form == "bqm" else vartype)
    labels = list(bqm.variables) if form == "bqm" else labels  # a BQM's variables in its own order
    assert low.variables == labels and low.vartype == vartype
    solved = dimod.ExactSolver().sample(bqm)
    samples = solved.record.sample[:, [solved.variables.index(v) for v in labels]]
    idx = ((samples > 0).astype(np.uint64) << np.arange(n, dtype=np.uint64)).sum(1)
    order = np.lexsort((idx, np.round(solved.record.energy, 9)))
    assert np.array_equal(index_of(low), idx[order])
    assert np.array_equal(low.samples, samples[order]) and low.samples.dtype == np.int8
    np.testing.assert_allclose(low.energies, solved.record.energy[order], rtol=0, atol=0 if dyadic else 1e-12)
    levels, counts = qubo.levels(model, 6, vartype=vartype)
    expected, expected_counts = np.unique(keys(solved.record.energy), return_counts=True)
    assert np.array_equal(levels, expected[:6] / 1e9) and np.array_equal(counts, expected_counts[:6])
    back = low.to_sampleset()
    assert list(back.variables) == labels and np.array_equal(back.record.energy, low.energies)


@pytest.mark.parametrize("n, form, draw", [(3, "terms", tenths), (9, "coo", None), (14, "dense", None),
                                           (20, "terms", tenths), (20, "coo", None)])  # fmt: skip
def test_index_forms_against_numpy(n, form, draw):
    rng = np.random.default_rng(n + 100)
    rows, cols, weights = random_model(rng, n, weights=draw or (lambda rng, m: rng.uniform(-1, 1, m)))
    if form == "dense":  # its nonzero entries, row by row, are its terms
        q = np.zeros((n, n))
        q[rows, cols] = weights
        model, (rows, cols) = q, np.nonzero(q)
        weights = q[rows, cols]
    else:
        model = (rows, cols, weights) if form == "coo" else [((int(i), int(j)), w) for i, j, w in zip(rows, cols, weights)]
    # NumPy sums the terms in the core's order: the sums, and so the keys, of its spectrum
    check_space(model, False, (rows, cols, weights), 0.0, np.arange(2**n, dtype=np.uint64), 30, 12)


def test_a_random_half_space_of_24_variables():
    """A penalty keeps the lowest states where variable p is b: NumPy sums that half alone."""
    rng = np.random.default_rng(24)
    n, p, b = 24, int(rng.integers(24)), int(rng.integers(2))
    rows, cols, weights = random_model(rng, n, density=0.15)
    rows, cols, weights = np.append(rows, p), np.append(cols, p), np.append(weights, 100.0 if b == 0 else -100.0)
    half = np.arange(2 ** (n - 1), dtype=np.uint32)
    idx = ((half >> np.uint32(p)) << np.uint32(p + 1)) | np.uint32(b << p) | (half & np.uint32(2**p - 1))
    check_space((rows, cols, weights), False, (rows, cols, weights), 0.0, idx, 40, 10)


@pytest.mark.parametrize("seed", range(4))
def test_rounding_never_reorders_or_drops_a_state(seed):
    """Weights of 2^34 give many energies that tie up to rounding, which sums in another order
    (the walk's) round differently: without the re-check, states near the k-th go missing.
    Multiples of 0.1 shifted by half a key put level keys within rounding of their edges."""
    rng = np.random.default_rng(seed)
    n, spin = 16, bool(seed % 2)
    rows, cols, _ = random_model(rng, n, density=0.8)
    idx = np.arange(2**n, dtype=np.uint64)
    weights = rng.integers(-2, 3, len(rows)) * 2.0**34 + rng.uniform(-1, 1, len(rows)) * 2.0**-16
    check_space(((rows, cols, weights), 0.1), spin, (rows, cols, weights), 0.1, idx, 1500, 0)
    tenth = tenths(rng, len(rows))
    check_space(((rows, cols, tenth), 0.5e-9), spin, (rows, cols, tenth), 0.5e-9, idx, 10, 30)


def split_probe(client=None):
    """lowest and levels, as bytes, of a model with ties and large sums: the walk's rounding is coarse."""
    rows, cols, weights = random_model(np.random.default_rng(5), 23, weights=tenths)
    model = {(f"s{i}", f"s{j}"): w * 1e5 for i, j, w in zip(rows, cols, weights)}
    low = qubo.lowest(model, 60, vartype="SPIN", client=client)
    levels = qubo.levels(model, 20, vartype="SPIN")
    return low.variables, low.samples.tobytes(), low.energies.tobytes(), [a.tobytes() for a in levels]


def test_every_split_gives_the_same_bits():
    """One process on every CPU, one CPU alone, and a Dask cluster's ranges."""
    distributed = pytest.importorskip("distributed")
    here = split_probe()
    with distributed.Client(processes=False, n_workers=2, threads_per_worker=1, dashboard_address=":0") as client:
        assert split_probe(client) == here
    result = run_child("import test_qubo\nprint(test_qubo.split_probe())", cpus=1)
    assert (result.stdout, result.stderr) == (f"{here!r}\n", "")


# --- forms, edge cases and errors -------------------------------------------------------------


def test_every_form_of_one_model_gives_one_result():
    sparse = pytest.importorskip("scipy.sparse")
    q = np.triu(np.random.default_rng(1).uniform(-1, 1, (7, 7)))
    nz = np.nonzero(q)
    forms = [q, sparse.csr_array(q), sparse.coo_matrix((q[nz], nz), shape=(7, 7)), (nz[0], nz[1], q[nz]),
             [((int(i), int(j)), q[i, j]) for i, j in zip(*nz)], {(int(i), int(j)): q[i, j] for i, j in zip(*nz)}]
    results = [qubo.lowest(f, 5) for f in forms] + [qubo.lowest((q, 0.0), 5)]
    assert all(np.array_equal(r.samples, results[0].samples) and r.energies.tobytes() == results[0].energies.tobytes()
               for r in results)
    # Both triangles count, and duplicates add up: q + qᵀ is 2q's energy.
    both = sparse.coo_matrix((np.r_[q[nz], q[nz]], (np.r_[nz[0], nz[1]], np.r_[nz[1], nz[0]])), shape=(7, 7))
    doubled, twice = qubo.lowest(both, 5), qubo.lowest(2 * q, 5)
    assert np.array_equal(doubled.samples, twice.samples)
    np.testing.assert_allclose(doubled.energies, twice.energies, rtol=1e-14)


@pytest.mark.parametrize("call, expected", [
    (lambda: qubo.lowest({}, 3), ([], [[]], [0.0])),  # one assignment, of no variables
    (lambda: qubo.lowest(({}, 2.5)), ([], [[]], [2.5])),
    (lambda: qubo.lowest({("a", "a"): 1.0}, 5, vartype={-1, 1}), (["a"], [[-1], [1]], [-1.0, 1.0])),
    (lambda: qubo.lowest(types.SimpleNamespace(linear={"a": 1.0}, quadratic={}, offset=0, vartype="BINARY"), 2,
                         vartype="SPIN"), (["a"], [[-1], [1]], [-1.0, 1.0])),  # vartype overrides
    (lambda: qubo.lowest({("a", "b"): -1.0}), (["a", "b"], [[1, 1]], [-1.0])),
    (lambda: qubo.levels({("a", "a"): -1e10, ("b", "b"): 1.0}, 2), ValueError),  # both levels saturate one key
    (lambda: qubo.levels({("a", "a"): -1e10, ("b", "b"): 1.0}, 1), ValueError),
    (lambda: qubo.levels({("a", "a"): 1.0, ("b", "b"): 1.0}, 9), ([0.0, 1.0, 2.0], [1, 2, 1])),
    (lambda: qubo.lowest({("a", "a"): -1e10}).energies.tolist(), [-1e10]),  # lowest has no keys to saturate
])  # fmt: skip
def test_documented_cases(call, expected):
    if expected is ValueError:
        with pytest.raises(ValueError, match="beyond ±9.2e9"):
            call()
        return
    got = call()
    if isinstance(got, qubo.Lowest):
        got = (got.variables, got.samples.tolist(), got.energies.tolist())
    elif isinstance(got, tuple):
        got = tuple(a.tolist() for a in got)
    assert got == expected


class Items:  # a BQM-like quadratic with an unhashable label
    def items(self):
        return [((["a"], "b"), 1.0)]


@pytest.mark.parametrize("model, kwargs, error, message", [
    ({("a", "b"): np.nan}, {}, ValueError, "model: the weight of ('a', 'b') must be finite, not nan"),
    (({(0, 1): 1.0}, -np.inf), {}, ValueError, "model: the offset must be finite"),
    ({(0, 1): 1.0}, {"k": 0}, ValueError, "k: must be >= 1, got 0"),
    ({(0, 1): 1.0}, {"k": 2.5}, TypeError, "k: expected an int, not float"),
    ({(i, i + 1): 1.0 for i in range(48)}, {}, SizeViolation, "model has 49 variables; exact enumeration takes at most 48"),
    (types.SimpleNamespace(linear={}, quadratic=Items(), offset=0, vartype="SPIN"), {}, TypeError,
     "model: label ['a'] is unhashable"),
    ({(0, 1): 1.0}, {"vartype": "ISING"}, ValueError, "vartype: expected 'BINARY' or 'SPIN', not 'ISING'"),
    (np.ones((2, 3)), {}, ValueError, "model: a QUBO matrix must be square"),
    ("Q", {}, TypeError, "model: expected a BQM, a mapping"),
    ({(0,): 1.0}, {}, TypeError, "model: expected (u, v) pairs of labels as keys, not (0,)"),
    (({(0, 1): 1.0}, 1.0), {"client": "cluster"}, TypeError, "client: expected a distributed.Client or None"),
])  # fmt: skip
def test_bad_input_is_named_before_any_work(model, kwargs, error, message):
    for call in (qubo.lowest, qubo.levels) if "client" not in kwargs else (qubo.lowest,):
        with pytest.raises(error, match=re.escape(message)):
            call(model, **kwargs)


@pytest.mark.parametrize("tqdm", [True, False])
def test_progress_is_drawn_on_a_terminal(monkeypatch, tqdm):
    class Terminal(list):
        isatty, flush = staticmethod(lambda: True), staticmethod(lambda: None)
        write = list.append

    monkeypatch.setattr(sys, "stderr", Terminal())
    monkeypatch.setattr(_progress, "_DELAY", 0.0)
    if not tqdm:
        monkeypatch.setitem(sys.modules, "tqdm", None)
    progress, stop = np.array([2**29], dtype=np.uint64), threading.Event()
    drawer = threading.Thread(target=_progress._draw, args=(progress, 2**30, "assignments", "tavik.qubo", stop))
    drawer.start()
    threading.Timer(0.6, stop.set).start()
    drawer.join()
    assert "50" in "".join(sys.stderr)
    seen = []
    monkeypatch.setattr(qubo, "_BAR_STATES", 0)
    assert qubo._with_progress(lambda p: seen.append(p) or 7, 1) == 7 and seen[0].shape == (1,)
