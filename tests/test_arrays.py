"""tavik.arrays against tavik.tavik_core: for every function, seeded inputs in
every accepted form must give the core's result on the equivalent lists bit
for bit; on 1, 2 and 8 CPUs alike; from several threads at once. Bad inputs
are refused up front with a message naming the argument."""

import hashlib
import random
import threading

import networkx as nx
import numpy as np
import pytest

import tavik.arrays as ta
import tavik.tavik_core as core
from support import bits, output_on_cpus
from tavik.exceptions import PanicException


# --- input forms ----------------------------------------------------------------------


def qubo_forms(terms, n):
    """(form, the QUBO as tavik.arrays takes it, the equivalent core term list)."""
    rows = np.array([i for (i, _), _ in terms], dtype=np.int64)
    cols = np.array([j for (_, j), _ in terms], dtype=np.int64)
    weights = np.array([w for _, w in terms], dtype=np.float64)
    mapping = {ij: w for ij, w in terms}
    dense = np.zeros((n, n))
    for (i, j), w in terms:
        dense[i, j] = w
    dense_terms = [((i, j), dense[i, j]) for i in range(n) for j in range(n) if dense[i, j] != 0.0]
    with np.errstate(over="ignore"):  # 1e300 becomes inf in float32
        narrow = weights.astype(np.float32)
    return [
        ("list", terms, terms),
        ("coo", (rows, cols, weights), terms),
        ("coo-converted", (rows.astype(np.uint16), list(cols), narrow),
         [(ij, float(w)) for (ij, _), w in zip(terms, narrow)]),
        ("mapping", mapping, list(mapping.items())),
        ("dense", dense, [((i, j), float(w)) for (i, j), w in dense_terms]),
    ]


def random_terms(rng, n, count):
    """Terms with repeats, both orientations, linear terms, and the values
    that tell summation orders apart (signed zeros, infinities, NaN)."""
    special = [0.0, -0.0, float("inf"), float("nan"), 1e300, -1e-300]
    terms = []
    for _ in range(count):
        w = rng.choice(special) if rng.random() < 0.05 else rng.uniform(-3, 3)
        terms.append(((rng.randrange(n), rng.randrange(n)), w))
    return terms


# --- the differential table: name -> (cases, result as the core shapes it) ----------


def noisy_runs_cases(rng):
    n = rng.randrange(1, 70)
    terms = random_terms(rng, n, rng.randrange(0, 300))
    base = [rng.randrange(2) for _ in range(n)]
    n_runs, noise, seed = rng.randrange(0, 300), rng.choice([0.0, 0.1, 0.5, 1.0]), rng.randrange(2**64)
    for form, qubo, core_terms in qubo_forms(terms, n):
        yield form, (qubo, np.array(base, dtype=np.int32), n_runs, noise, seed), (core_terms, base, n_runs, noise, seed)


# --- graphs ---


def vrp_cases(rng):
    """No entry's value is +0.0 (penalties and distances are not zero), so the
    non-zero elements of Q are exactly the core's keys."""
    n = rng.choice([0, 1, 2]) if rng.random() < 0.4 else rng.randrange(3, 9)
    special = [float("nan"), float("inf"), 1e300]
    dist = [[rng.choice(special) if rng.random() < 0.1 else rng.uniform(0.5, 9.0) for _ in range(n)] for _ in range(n)]
    a, b = rng.choice([rng.uniform(-5, 5), 1e-300, float("nan")]), rng.uniform(0.5, 5)
    with np.errstate(over="ignore"):  # 1e300 becomes inf in float32
        narrow = np.array(dist, dtype=np.float32).reshape(n, n)
    for form, d, core_dist in [("list", dist, dist), ("array", np.array(dist).reshape(n, n), dist),
                               ("fortran", np.asfortranarray(np.array(dist).reshape(n, n)), dist),
                               ("float32", narrow, narrow.astype(float).tolist())]:
        yield form, (d, a, b), (core_dist, a, b)


def vrp_as_core(result):
    q, labels = result
    first, second = np.nonzero(q.view(np.uint64))  # -0.0 and NaN count as entries
    return {(labels[i], labels[j]): float(q[i, j]) for i, j in zip(first, second)}


def stoer_wagner_cases(rng):
    """Parallel edges and self-loops (NaN on a self-loop must not matter),
    infinite and signed-zero weights; NaN on an edge is tested apart."""
    n = rng.randrange(2, 12)
    edges = []
    for _ in range(rng.randrange(0, 30)):
        u, v = rng.randrange(n), rng.randrange(n)
        w = rng.choice([float("inf"), -0.0, 0.0]) if rng.random() < 0.05 else float(rng.randrange(1, 9)) / 4
        edges.append((u, v, float("nan") if u == v and rng.random() < 0.5 else w))
    u, v, w = (np.array(c) for c in zip(*edges)) if edges else (np.zeros(0, np.int64),) * 3
    multi = nx.MultiGraph([(i, j, {"weight": x}) for i, j, x in edges])
    plain = nx.Graph([(i, j) for i, j, _ in edges])
    yield "list", (edges, n), (edges, n)
    yield "tuple of edges", (tuple(edges[:3]), n), (edges[:3], n)  # three edges, not three columns
    yield "rows", (np.array(edges, dtype=np.float64).reshape(-1, 3), n), (edges, n)
    yield "columns", ((u.astype(np.uint32), v, w), n), (edges, n)
    yield "networkx", (multi, n), ([(i, j, d["weight"]) for i, j, d in multi.edges(data=True)], n)
    yield "networkx-unweighted", (plain, n), ([(i, j, 1.0) for i, j in plain.edges()], n)


DIFFERENTIAL = {
    "simulate_qubo_runs": (noisy_runs_cases, lambda r: (r[0].tolist(), r[1].tolist())),
    "vrp_qubo_matrix": (vrp_cases, vrp_as_core),
    "stoer_wagner_bisect": (stoer_wagner_cases, lambda r: (r[0], r[1].tolist())),
}
# Where the core's function has another name.
CORE_NAMES = {"vrp_qubo_matrix": "vrp_qubo_terms"}


def outcome(call):
    """A call's result, or the type and message of what it raised."""
    try:
        return call()
    except (Exception, PanicException) as exc:
        return type(exc), str(exc)


@pytest.mark.parametrize("name", DIFFERENTIAL)
@pytest.mark.parametrize("seed", range(6))
def test_matches_the_core_bit_for_bit_in_every_form(name, seed):
    cases, as_core = DIFFERENTIAL[name]
    for form, arrays_args, core_args in cases(random.Random(seed)):
        expected = outcome(lambda: getattr(core, CORE_NAMES.get(name, name))(*core_args))
        assert bits(outcome(lambda: as_core(getattr(ta, name)(*arrays_args)))) == bits(expected), form


def probe():
    """A digest of every function's results on seeded inputs, for comparing
    processes with different numbers of CPUs."""
    digest = hashlib.sha256()
    for name, (cases, as_core) in DIFFERENTIAL.items():
        for seed in range(3):
            for _, arrays_args, _ in cases(random.Random(seed)):
                digest.update(repr(bits(outcome(lambda: as_core(getattr(ta, name)(*arrays_args))))).encode())
    return digest.hexdigest()


def test_results_do_not_depend_on_the_number_of_cpus(cpu_shim):
    here = repr(probe())
    assert output_on_cpus(1, "test_arrays", "probe") == here
    assert output_on_cpus(2, "test_arrays", "probe") == here
    assert output_on_cpus(1, "test_arrays", "probe", preload=cpu_shim) == here  # a pool of eight


def test_threads_calling_at_once_get_their_own_results():
    calls = [lambda k=k: ta.simulate_qubo_runs(random_terms(random.Random(k), 40, 500), [1] * 40, 2000, 0.2, k)
             for k in range(4)]
    expected = [bits(r[1].tolist()) for r in (call() for call in calls)]
    results = [None] * len(calls)

    def run(k):
        results[k] = bits(calls[k]()[1].tolist())

    threads = [threading.Thread(target=run, args=(k,)) for k in range(len(calls))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == expected


# --- refused inputs -----------------------------------------------------------------

BAD_INPUTS = [
    # (call, exception, message)
    (lambda: ta.simulate_qubo_runs([((0, 3), 1.0)], [0, 1, 0], 1, 0.1, 1), ValueError,
     "qubo cols: index 3 is out of range for len(base_bits) = 3"),
    (lambda: ta.simulate_qubo_runs(([0.0], [np.nan], [1.0]), [0, 1], 1, 0.1, 1), ValueError,
     "qubo cols: NaN where an index is expected"),
    (lambda: ta.simulate_qubo_runs(([0], [-1], [1.0]), [0, 1], 1, 0.1, 1), ValueError, "qubo cols: index -1 is negative"),
    (lambda: ta.simulate_qubo_runs(([0], [0.5], [1.0]), [0, 1], 1, 0.1, 1), ValueError,
     "qubo cols: indices must be whole numbers"),
    (lambda: ta.simulate_qubo_runs(([0], [0], ["a"]), [0, 1], 1, 0.1, 1), TypeError,
     "qubo weights: expected real numbers, not an array of <U1"),
    (lambda: ta.simulate_qubo_runs(([0], [0], [1j]), [0, 1], 1, 0.1, 1), TypeError,
     "qubo weights: expected real numbers, not an array of complex128"),
    (lambda: ta.simulate_qubo_runs(([0, 1], [0], [1.0]), [0, 1], 1, 0.1, 1), ValueError,
     "qubo: rows, cols and weights differ in length (2, 1, 1)"),
    (lambda: ta.simulate_qubo_runs(np.zeros((2, 3)), [0, 1], 1, 0.1, 1), ValueError,
     "qubo: a QUBO matrix must be square, got shape (2, 3)"),
    (lambda: ta.simulate_qubo_runs({0: 1.0}, [0, 1], 1, 0.1, 1), TypeError, "qubo: a mapping's keys must be (i, j) pairs"),
    (lambda: ta.simulate_qubo_runs("qubo", [0, 1], 1, 0.1, 1), TypeError,
     "qubo: expected a mapping, a (rows, cols, weights) triple, a square array or a term list, not str"),
    (lambda: ta.simulate_qubo_runs([], [[0, 1]], 1, 0.1, 1), ValueError, "base_bits: expected a 1-D array, got shape (1, 2)"),
    (lambda: ta.simulate_qubo_runs([], [0, 256], 1, 0.1, 1), ValueError, "base_bits: values must lie in 0..255"),
    (lambda: ta.simulate_qubo_runs([], [0.0, 1.0], 1, 0.1, 1), TypeError, "base_bits: expected integers, not an array of float64"),
    (lambda: ta.simulate_qubo_runs([], [0, 1], -1, 0.1, 1), ValueError, "n_runs: must be >= 0, got -1"),
    (lambda: ta.simulate_qubo_runs([], [0, 1], 1.0, 0.1, 1), TypeError, "n_runs: expected an int, not float"),
    # --- graphs ---
    *[(lambda d=d: ta.vrp_qubo_matrix(d, 1.0, 1.0), ValueError, "distance matrix must be square")
      for d in (np.zeros((2, 3)), np.zeros((3, 2)), [[1.0, 2.0], [3.0]], [[]], [[1.0], [2.0]])],
    (lambda: ta.vrp_qubo_matrix([1.0, 2.0], 1.0, 1.0), ValueError, "dist: expected a 2-D array, got shape (2,)"),
    (lambda: ta.vrp_qubo_matrix([["a"]], 1.0, 1.0), TypeError, "dist: expected real numbers, not an array of <U1"),
    (lambda: ta.stoer_wagner_bisect([(0, 3, 1.0)], 3), ValueError, "edges v: index 3 is out of range for n_nodes = 3"),
    (lambda: ta.stoer_wagner_bisect(np.array([[np.nan, 1, 1.0]]), 3), ValueError,
     "edges u: NaN where an index is expected"),
    (lambda: ta.stoer_wagner_bisect(np.array([[0.5, 1, 1.0]]), 3), ValueError, "edges u: indices must be whole numbers"),
    (lambda: ta.stoer_wagner_bisect(([0], [-1], [1.0]), 3), ValueError, "edges v: index -1 is negative"),
    (lambda: ta.stoer_wagner_bisect(nx.path_graph("ab"), 2), TypeError,
     "edges u: expected integer indices, not an array of <U1"),
    (lambda: ta.stoer_wagner_bisect(np.zeros((2, 2)), 3), ValueError,
     "edges: expected an (m, 3) array of (u, v, w) rows, got shape (2, 2)"),
    (lambda: ta.stoer_wagner_bisect([(0, 1)], 3), TypeError, "edges: expected (i, j, w) edges"),
    (lambda: ta.stoer_wagner_bisect(([0, 1], [1], [1.0]), 3), ValueError, "edges: u, v and w differ in length (2, 1, 1)"),
    (lambda: ta.stoer_wagner_bisect(7, 3), TypeError,
     "edges: expected an (m, 3) array, a (u, v, w) triple, a networkx graph or an edge list, not int"),
    # The kernel's own errors, as the core raises them: fewer than two nodes
    # whatever the edges, no finite cut, and a NaN weight that leaves no
    # vertex to select.
    (lambda: ta.stoer_wagner_bisect([(0, 5, 1.0)], 1), ValueError, "n_nodes must be >= 2 to bisect"),
    (lambda: ta.stoer_wagner_bisect([(0, 1, np.inf)], 2), ValueError, "no cut found"),
    (lambda: ta.stoer_wagner_bisect([(0, 1, 1.0), (1, 2, np.nan)], 3), PanicException,
     "a candidate remains while n_in_a < active_count"),
]


@pytest.mark.parametrize("call, exception, message", BAD_INPUTS)
def test_bad_inputs_are_refused_naming_the_argument(call, exception, message):
    with pytest.raises(exception) as info:
        call()
    assert str(info.value) == message


def test_a_vrp_matrix_beyond_memory_fails_before_it_is_written():
    with pytest.raises(MemoryError):  # Q: 65 GB, from numpy or from the check before the fill
        ta.vrp_qubo_matrix(np.broadcast_to(0.0, (300, 300)), 1.0, 1.0)


def test_the_native_layer_refuses_buffers_of_the_wrong_type():
    from tavik import _arrays

    runs, energies = np.empty((1, 2), dtype=np.uint8), np.empty(1)
    rows, weights = np.zeros(1, dtype=np.int64), np.ones(1)
    with pytest.raises(TypeError, match="argument 'weights': expected a C-contiguous buffer of 8-byte items"):
        _arrays.simulate_qubo_runs(rows, rows, rows, np.zeros(2, np.uint8), 0.1, 1, runs, energies)
    with pytest.raises(ValueError, match="runs has 2 elements, expected 4"):
        _arrays.simulate_qubo_runs(rows, rows, weights, np.zeros(4, np.uint8), 0.1, 1, runs, energies)
    with pytest.raises(ValueError, match="rows has 1 elements, expected 2"):
        _arrays.simulate_qubo_runs(rows, rows, np.ones(2), np.zeros(2, np.uint8), 0.1, 1, runs, energies)
