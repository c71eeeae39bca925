"""tavik.arrays against tavik.tavik_core: for every function, seeded inputs in every accepted form must give the
core's result on the equivalent lists bit for bit; on 1, 2 and 8 CPUs alike; from several threads at once. Bad inputs
are refused up front with a message naming the argument."""

import hashlib
import random
import subprocess
import sys
import threading
import time

import networkx as nx
import numpy as np
import pytest

import tavik.arrays as ta
import tavik.tavik_core as core
from reference.failures import outcome
from support import random_terms, run_child
from tavik import _arrays
from tavik.exceptions import PanicException, SizeViolation


# --- input forms ----------------------------------------------------------------------


def unaligned(a):
    """A copy of `a` whose data starts one byte past an aligned address, as an
    array unpickled from a network frame may."""
    raw = np.zeros(a.nbytes + 1, dtype=np.uint8)
    out = raw[1:].view(a.dtype).reshape(a.shape)
    out[...] = a
    assert not out.flags.aligned or a.itemsize == 1 or a.size == 0
    return out


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
        ("coo-unaligned", (unaligned(rows), unaligned(cols), unaligned(weights)), terms),
        ("coo-converted", (rows.astype(np.uint16), list(cols), narrow),
         [(ij, float(w)) for (ij, _), w in zip(terms, narrow)]),
        ("mapping", mapping, list(mapping.items())),
        ("dense", dense, [((i, j), float(w)) for (i, j), w in dense_terms]),
    ]


# --- the differential table: name -> (cases, result as the core shapes it) ----------


def noisy_runs_cases(rng):
    n = rng.randrange(1, 70)
    terms = random_terms(rng, n, rng.randrange(0, 300))
    base = [rng.randrange(2) for _ in range(n)]
    n_runs, noise, seed = rng.randrange(0, 300), rng.choice([0.0, 0.1, 0.5, 1.0]), rng.randrange(2**64)
    for form, qubo, core_terms in qubo_forms(terms, n):
        yield form, (qubo, np.array(base, dtype=np.int32), n_runs, noise, seed), (core_terms, base, n_runs, noise, seed)


# --- exhaustive enumeration and the statevector ---
# n from 0 up to sizes whose scans and sorts split into several parts.
ENUMERATED_SIZES = [0, 1, 3, 5, 9, 14, 17]


def spectrum_cases(rng):
    n = rng.choice(ENUMERATED_SIZES)
    terms = random_terms(rng, n, rng.randrange(0, 40)) if n else []
    for form, qubo, core_terms in qubo_forms(terms, n):
        yield form, (qubo, n), (core_terms, n)


def norm_cases(rng):
    n = rng.choice(ENUMERATED_SIZES)
    fields = [(site, w) for (site, _), w in random_terms(rng, n, rng.randrange(0, 2 * n + 1))] if n else []
    columns = (np.array([s for s, _ in fields], dtype=np.uint32), np.array([w for _, w in fields]))
    couplings = random_terms(rng, n, rng.randrange(0, 40)) if n else []
    for k, (form, dj, core_dj) in enumerate(qubo_forms(couplings, n)):
        dh, name = (fields, "list") if k % 2 else (columns, "columns")
        yield f"dh {name}, dj {form}", (dh, dj, n), (fields, core_dj, n)


def statevector_cases(rng):
    n = rng.choice([0, 1, 2, 5, 8, 12, 16])
    angles = [0.0, -0.0, float("inf"), float("nan"), 1e300]
    # Beyond the state, no effect: a cz qubit, or the control of a cx or swap.
    instructions = [("cz", [n, n + 3], []), ("cz", [0, n + 1], []), ("cz", [n + 2, 0], []), ("cx", [n + 1, n + 5], []),
                    ("cx", [n, 0], []), ("swap", [n + 4, 0], [])]  # fmt: skip
    for _ in range(rng.randrange(0, 40) if n else 0):
        if n > 1 and rng.random() < 0.3:
            instructions.append((rng.choice(["cx", "cz", "swap"]), rng.sample(range(n), 2) + [n + 9], []))
        else:
            params = [rng.choice(angles) if rng.random() < 0.05 else rng.uniform(-4, 4) for _ in range(3)]
            instructions.append((rng.choice(["h", "x", "y", "z", "s", "t", "rx", "ry", "rz", "u"]),
                                 [rng.randrange(n)], params))
    yield "list", (instructions, n), (instructions, n)
    yield "tuples", (tuple((g, tuple(q), tuple(p)) for g, q, p in instructions), n), (instructions, n)


# --- error correction ---


def random_code(rng, wide):
    """A small code (repeated qubits, empty supports, up to 32 checks), or a wide one, whose syndromes span 16
    dimensions: its table is built by the coset walk on several threads."""
    if wide:
        n = 17
        return n, [rng.sample(range(n), 4) for _ in range(16)]
    n = rng.randint(0, 12)
    m = rng.choice([0, 1, 3, 8, 12, 20, 32]) if n <= 8 else rng.randint(0, 12)
    return n, [[rng.randrange(n) for _ in range(rng.choice([0, 1, 2, 3, 4]))] if n else [] for _ in range(m)]


def stabilizer_forms(n, supports):
    """(form, the stabilizers as tavik.arrays takes them, the equivalent core lists)."""
    dense = np.zeros((len(supports), n), dtype=np.uint8)
    for j, support in enumerate(supports):
        dense[j, support] = 1
    listed = [np.flatnonzero(row).tolist() for row in dense]  # a 0/1 row is its set columns, ascending
    return [
        ("lists", supports, supports),
        ("arrays", [np.array(s, dtype=np.uint16) for s in supports], supports),
        ("dense", dense, listed),
        ("dense-float", dense.astype(np.float64), listed),
    ]


def lookup_cases(rng):
    for k in range(3):
        n, supports = random_code(rng, wide=k == 0)
        forms = stabilizer_forms(n, supports)
        for form, stabilizers, core_stabilizers in forms[:1] if k == 0 else forms:  # a wide core table is slow to read
            yield form, (n, stabilizers), (n, core_stabilizers)


def core_lookup_rows(n, stabilizers):
    """The core's rows as (syndrome, correction) numbers."""
    table = core.build_ecc_lookup_table(n, stabilizers)
    numbers = lambda bit_lists, width: (np.array(bit_lists, dtype=np.uint64).reshape(len(table), width)  # noqa: E731
                                        << np.arange(width, dtype=np.uint64)).sum(axis=1).tolist()
    return list(zip(numbers([s for s, _ in table], len(stabilizers)), numbers([e for _, e in table], n)))


RATES = [0.0, -0.0, 1.0, float("nan"), float("inf"), -0.5, 1.5, 1e-300, 0.5, 0.01]


def probability_cases(rng):
    rate = lambda: rng.choice(RATES) if rng.random() < 0.5 else rng.random()  # noqa: E731
    # Lengths that give no walk, the single-rate walk, one walk shared by many rates, and two.
    p_forms = [
        ("scalar", lambda: rate()),
        ("numpy scalar", lambda: np.float32(rate())),
        ("1-D", lambda: np.array([rate() for _ in range(rng.choice([0, 1, 2, 3, 5, 8, 13, 17]))])),
        ("2-D", lambda: [[rate() for _ in range(4)] for _ in range(3)]),
    ]
    for k in range(3):
        n, supports = random_code(rng, wide=k == 0)
        logical = [rng.randrange(n) for _ in range(rng.randint(0, 4))] if n else []
        vector = np.zeros(n, dtype=np.int8)
        vector[logical] = 1
        for j, (form, stabilizers, core_stabilizers) in enumerate(stabilizer_forms(n, supports)):
            p_form, make_p = p_forms[(j + k) % len(p_forms)]
            p = make_p()
            logical_z = vector if j % 2 else logical
            yield f"{form}, p {p_form}", (n, stabilizers, logical_z, p), (n, core_stabilizers, logical, p)


def core_probabilities(n, stabilizers, logical_z, p):
    """The core's value at a scalar rate; ("array", values nested as p) for an array of rates."""
    if np.ndim(p) == 0:
        return core.logical_failure_probability(n, stabilizers, logical_z, float(p))
    rates = np.asarray(p, dtype=float)
    values = [core.logical_failure_probability(n, stabilizers, logical_z, x) for x in rates.ravel().tolist()]
    return "array", np.array(values).reshape(rates.shape).tolist()


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


# name -> (cases, the arrays result as compared[, the core's result as compared, from the core arguments: the core's
# function itself if not given])
DIFFERENTIAL = {
    "simulate_qubo_runs": (noisy_runs_cases, lambda r: (r[0].tolist(), r[1].tolist())),
    # --- exhaustive enumeration and the statevector ---
    "qubo_energy_spectrum": (spectrum_cases, lambda r: (r[0].tolist(), r[1], r[2].tolist())),
    "exact_ising_norm": (norm_cases, lambda r: r),
    "run_statevector": (statevector_cases, lambda r: [tuple(a) for a in r.view(np.float64).reshape(-1, 2).tolist()]),
    # --- error correction ---
    "build_ecc_lookup_table": (lookup_cases, lambda r: list(zip(r[0].tolist(), r[1].tolist())), core_lookup_rows),
    "logical_failure_probability": (probability_cases, lambda r: r if isinstance(r, float) else ("array", r.tolist()),
                                    core_probabilities),
    # --- graphs ---
    "vrp_qubo_matrix": (vrp_cases, vrp_as_core, core.vrp_qubo_terms),
    "stoer_wagner_bisect": (stoer_wagner_cases, lambda r: (r[0], r[1].tolist())),
}


@pytest.mark.parametrize("name", DIFFERENTIAL)
@pytest.mark.parametrize("seed", range(6))
def test_matches_the_core_bit_for_bit_in_every_form(name, seed):
    cases, as_core, *core_side = DIFFERENTIAL[name]
    core_result = core_side[0] if core_side else getattr(core, name)
    for form, arrays_args, core_args in cases(random.Random(seed)):
        expected = outcome(lambda: core_result(*core_args))
        assert outcome(lambda: as_core(getattr(ta, name)(*arrays_args))) == expected, form


def probe():
    """A digest of every function's results on seeded inputs, for comparing
    processes with different numbers of CPUs."""
    digest = hashlib.sha256()
    for name, (cases, as_core, *_) in DIFFERENTIAL.items():
        for seed in range(3):
            for _, arrays_args, _ in cases(random.Random(seed)):
                digest.update(repr(outcome(lambda: as_core(getattr(ta, name)(*arrays_args)))).encode())
    return digest.hexdigest()


@pytest.mark.parametrize("cpus, shim", [(1, False), (2, False), (1, True)], ids=["1", "2", "8 (shim)"])
def test_results_do_not_depend_on_the_number_of_cpus(cpu_shim, cpus, shim):
    result = run_child("import test_arrays\nprint(test_arrays.probe())", cpus, cpu_shim if shim else None)
    assert (result.stdout, result.stderr) == (probe() + "\n", "")


def i64(*values):
    return np.array(values, dtype=np.int64)


def f64(*values):
    return np.array(values, dtype=np.float64)


_rng = random.Random(1)
TERMS = i64(*(_rng.randrange(19) for _ in range(4000))).reshape(2, -1)
SUPPORTS = [[q for q in range(25) if _rng.random() < 0.5] for _ in range(21)]
CODE = (25, i64(0, *np.cumsum([len(s) for s in SUPPORTS])), i64(*(q for s in SUPPORTS for q in s)), i64(0, 3))
RING = [i64(*range(1200)).repeat(3), i64(*((i * 7 + k) % 1200 for i in range(1200) for k in (1, 2, 3))), np.ones(3600)]
# Each long function of the native layer on a tenth of a second's work or more, and on a little of the same kind.
LONG_CALLS = {
    "simulate_qubo_runs": lambda big: _arrays.simulate_qubo_runs(*TERMS, np.ones(2000), np.zeros(19, np.uint8),
                                                                 300_000 if big else 50, 0.1, 1),
    "qubo_energy_spectrum": lambda big: _arrays.qubo_energy_spectrum(*TERMS % (19 if big else 5), np.ones(2000), 19 if big else 5),
    "exact_ising_norm": lambda big: _arrays.exact_ising_norm(i64(0), f64(1), *TERMS % (19 if big else 5), np.ones(2000),
                                                             19 if big else 5),
    "run_statevector": lambda big: _arrays.run_statevector([("h", [q], []) for q in range(22 if big else 4)] * 2, 22 if big else 4),
    "build_ecc_lookup_table": lambda big: _arrays.build_ecc_lookup_table(*CODE[:3]) if big else
                                          _arrays.build_ecc_lookup_table(3, i64(0, 2), i64(0, 1)),
    "logical_failure_probability": lambda big: _arrays.logical_failure_probability(*CODE, np.full(8, 0.1)) if big else
                                               _arrays.logical_failure_probability(3, i64(0, 2), i64(0, 1), i64(0), f64(0.1)),
    "vrp_qubo_matrix": lambda big: _arrays.vrp_qubo_matrix(np.ones(70 * 70 if big else 9), 70 if big else 3, 1.0, 2.0),
    "stoer_wagner_bisect": lambda big: _arrays.stoer_wagner_bisect(*RING, 1200) if big else
                                       _arrays.stoer_wagner_bisect(i64(0, 1), i64(1, 2), f64(1, 2), 3),
}  # fmt: skip


def plain(result):
    """A native result with its buffers as bytes."""
    if isinstance(result, tuple):
        return tuple(plain(r) for r in result)
    return result if isinstance(result, (float, list)) else bytes(result)


@pytest.mark.parametrize("name", LONG_CALLS)
def test_other_threads_run_and_call_while_a_long_call_works(name):
    call = LONG_CALLS[name]
    long_expected, small_expected = plain(call(True)), plain(call(False))
    window, small_ends = [], []

    def long_call():
        window.append(time.perf_counter())
        window.append(call(True))
        window.append(time.perf_counter())

    worker = threading.Thread(target=long_call)
    worker.start()
    while worker.is_alive():  # with the lock held, this thread waits for the long call's end
        assert plain(call(False)) == small_expected
        small_ends.append(time.perf_counter())
    worker.join()
    start, result, end = window
    assert plain(result) == long_expected
    # Not only in a switch interval at either end, where the lock may change hands anyway.
    middle = (start + (end - start) / 5, end - (end - start) / 5)
    assert sum(middle[0] < t < middle[1] for t in small_ends) >= 3


# Each call runs while another thread keeps moving one entry of an index array it was given between a valid value and
# one far out of range. The call may see either value, so it may succeed or fail cleanly; it must never read or write
# outside its memory (a crash here, a report under the sanitizers).
RACES = """
import sys, threading, time
import numpy as np
import tavik.arrays as ta
from tavik import _arrays

def idx(values):
    return np.asarray(values, dtype=np.int64)

rows, cols, weights = idx([0] * 200), idx([1] * 200), np.ones(200)
sites, starts, qubits = idx([0, 1]), idx([0, 2, 4]), idx([0, 1, 1, 2])
first, second = idx(range(60)), idx([(k + 1) % 60 for k in range(60)])
support = np.zeros((2, 3), dtype=np.uint8)
CASES = {
    "noisy runs": (rows, lambda: ta.simulate_qubo_runs((rows, cols, weights), np.zeros(16, np.uint8), 200_000, 0.3, 1)),
    "spectrum": (rows, lambda: ta.qubo_energy_spectrum((rows, cols, weights), 16)),
    "norm fields": (sites, lambda: ta.exact_ising_norm((sites, np.ones(2)), (rows, cols, weights), 16)),
    "norm couplings": (cols, lambda: ta.exact_ising_norm([], (rows, cols, weights), 16)),
    "lookup table": (qubits, lambda: _arrays.build_ecc_lookup_table(3, starts, qubits)),
    "failure probability": (qubits, lambda: _arrays.logical_failure_probability(3, starts, qubits, sites, np.ones(64))),
    "logical_z": (sites, lambda: ta.logical_failure_probability(3, support, sites, np.ones(64))),
    "cut, matrix": (first, lambda: ta.stoer_wagner_bisect((first, second, np.ones(60)), 60)),
    "cut, lists": (second, lambda: ta.stoer_wagner_bisect((first, second, np.ones(60)), 600)),
}
array, call = CASES[sys.argv[1]]
stop, good = False, int(array[1])

def move():
    while not stop:
        array[1] = 1 << 40
        array[1] = good

mover = threading.Thread(target=move)
mover.start()
end = time.monotonic() + float(sys.argv[2])
while time.monotonic() < end:
    try:
        call()
    except BaseException as error:  # a clean failure, PanicException included
        if isinstance(error, KeyboardInterrupt):
            raise
stop = True
mover.join()
"""


@pytest.mark.parametrize("case", ["noisy runs", "spectrum", "norm fields", "norm couplings", "lookup table",
                                  "failure probability", "logical_z", "cut, matrix", "cut, lists"])
def test_an_index_array_written_during_a_call_makes_no_access_outside_memory(case):
    result = subprocess.run([sys.executable, "-c", RACES, case, "0.5"], capture_output=True, text=True, timeout=120)
    assert (result.returncode, result.stderr) == (0, "")


# --- refused inputs -----------------------------------------------------------------


# simulate_qubo_runs with valid arguments but those a row sets.
def runs(qubo, base_bits=(0, 1), n_runs=1):
    return ta.simulate_qubo_runs(qubo, base_bits, n_runs, 0.1, 1)


BAD_INPUTS = [
    # (call, exception, message)
    (lambda: runs(([0.0], [np.nan], [1.0])), ValueError, "qubo cols: NaN where an index is expected"),
    (lambda: runs(([0], [-1], [1.0])), ValueError, "qubo cols: index -1 is negative"),
    (lambda: ta.qubo_energy_spectrum(([np.inf], [0], [1.0]), 3), ValueError, "qubo rows: inf where an index is expected"),
    (lambda: ta.qubo_energy_spectrum(([0], [-np.inf], [1.0]), 3), ValueError, "qubo cols: -inf where an index is expected"),
    (lambda: ta.qubo_energy_spectrum(([0, 1], [2**64 + 0.0, 0], [1.0, 1.0]), 3), ValueError,
     "qubo cols: index 18446744073709551616 does not fit in 64 bits"),
    (lambda: runs(([0], [0.5], [1.0])), ValueError, "qubo cols: indices must be whole numbers"),
    (lambda: runs(([0], [0], [1j])), TypeError, "qubo weights: expected real numbers, not an array of complex128"),
    (lambda: runs(([0, 1], [0], [1.0])), ValueError, "qubo: rows, cols and weights differ in length (2, 1, 1)"),
    (lambda: runs(np.zeros((2, 3))), ValueError, "qubo: a QUBO matrix must be square, got shape (2, 3)"),
    (lambda: runs({0: 1.0}), TypeError, "qubo: a mapping's keys must be (i, j) pairs"),
    (lambda: runs("qubo"), TypeError,
     "qubo: expected a mapping, a (rows, cols, weights) triple, a square array or a term list, not str"),
    (lambda: runs([], [[0, 1]]), ValueError, "base_bits: expected a 1-D array, got shape (1, 2)"),
    (lambda: runs([], [0, 256]), ValueError, "base_bits: values must lie in 0..255"),
    (lambda: runs([], [0.0, 1.0]), TypeError, "base_bits: expected integers, not an array of float64"),
    (lambda: runs([], n_runs=-1), ValueError, "n_runs: must be >= 0, got -1"),
    (lambda: runs([], n_runs=1.0), TypeError, "n_runs: expected an int, not float"),
    # --- exhaustive enumeration and the statevector ---
    (lambda: ta.qubo_energy_spectrum([((0, 30), 1.0)], 21), SizeViolation,
     "SizeViolation: qubo_energy_spectrum requires n_vars <= 20"),
    (lambda: ta.exact_ising_norm(([0, 1], [1.0]), [], 3), ValueError, "dh: sites and values differ in length (2, 1)"),
    (lambda: ta.exact_ising_norm([(0, 1.0, 2.0)], [], 3), ValueError, "dh: expected tuple of length 2, but got tuple of length 3"),
    (lambda: ta.exact_ising_norm(None, [], 3), TypeError,
     "dh: expected a (sites, values) pair of arrays or a list of (site, value) pairs, not NoneType"),
    (lambda: ta.exact_ising_norm([(40, 1.0)], [], 21), SizeViolation, "SizeViolation: exact_ising_norm requires n_sites <= 20"),
    (lambda: ta.run_statevector([("swap", [1, 2**64 - 1], [])], 2), ValueError,
     f"instructions[0] ('swap'): qubit {2**64 - 1} is out of range for n_qubits = 2"),
    # The core's order: every conversion first, then the instructions in turn.
    (lambda: ta.run_statevector([("h", [], []), ("h", [0], ["a"])], 2), TypeError,
     "argument 'instructions': must be real number, not str"),
    (lambda: ta.run_statevector([("t", [0, 1], []), ("h", [9], [])], 2), ValueError,
     "instructions[0]: 't' is not a supported two-qubit gate"),
    (lambda: ta.run_statevector([("h", [99], [])], 25), SizeViolation, "SizeViolation: run_statevector requires n_qubits <= 24"),
    # --- error correction ---
    (lambda: ta.build_ecc_lookup_table(3, [[0, 1], 2]), ValueError,
     "z_stabilizers[1]: expected a list of indices, got shape ()"),
    (lambda: ta.build_ecc_lookup_table(3, [["0"]]), TypeError, "z_stabilizers: expected integer indices, not an array of <U1"),
    (lambda: ta.build_ecc_lookup_table(3, "012"), TypeError,
     "z_stabilizers: expected a 0/1 array or a list of index lists, not str"),
    *[(lambda d=d: ta.build_ecc_lookup_table(3, np.array([d])), ValueError, "z_stabilizers: entries must be 0 or 1") for d in ([0, 2, 1], [0, np.nan, 1])],
    *[(lambda shape=shape: ta.build_ecc_lookup_table(3, np.zeros(shape)), ValueError,
       f"z_stabilizers: expected a 0/1 array of shape (m, n_data), n_data = 3, got shape {shape}")
      for shape in [(2, 4), (3,)]],
    (lambda: ta.build_ecc_lookup_table(1, np.array([["1"]])), TypeError,
     "z_stabilizers: expected 0/1 entries, not an array of <U1"),
    # the core's size limits, in the core's order
    (lambda: ta.build_ecc_lookup_table(27, np.zeros((40, 27))), SizeViolation,
     "SizeViolation: lookup decoding requires n_data <= 26"),
    (lambda: ta.logical_failure_probability(4, [[]] * 33, [0], 0.1), SizeViolation,
     "SizeViolation: lookup decoding requires at most 32 Z-stabilizers"),
    (lambda: ta.logical_failure_probability(3, [[0, 1]], np.ones(4), 0.1), ValueError,
     "logical_z: expected a 0/1 array of shape (n_data,), n_data = 3, got shape (4,)"),
    (lambda: ta.logical_failure_probability(3, [[0, 1]], [0], "0.1"), TypeError, "p: expected real numbers, not an array of <U3"),
    (lambda: ta.logical_failure_probability(3, [[0, 1]], [0], [0.1j]), TypeError,
     "p: expected real numbers, not an array of complex128"),
    # --- graphs ---
    *[(lambda d=d: ta.vrp_qubo_matrix(d, 1.0, 1.0), ValueError, "distance matrix must be square")
      for d in (np.zeros((2, 3)), np.zeros((3, 2)), [[1.0, 2.0], [3.0]], [[]], [[1.0], [2.0]])],
    (lambda: ta.vrp_qubo_matrix([1.0, 2.0], 1.0, 1.0), ValueError, "dist: expected a 2-D array, got shape (2,)"),
    (lambda: ta.vrp_qubo_matrix([["a"]], 1.0, 1.0), TypeError, "dist: expected real numbers, not an array of <U1"),
    (lambda: ta.stoer_wagner_bisect(([0], [-1], [1.0]), 3), ValueError, "edges v: index -1 is negative"),
    (lambda: ta.stoer_wagner_bisect(nx.path_graph("ab"), 2), TypeError,
     "edges u: expected integer indices, not an array of <U1"),
    (lambda: ta.stoer_wagner_bisect(np.zeros((2, 2)), 3), ValueError,
     "edges: expected an (m, 3) array of (u, v, w) rows, got shape (2, 2)"),
    (lambda: ta.stoer_wagner_bisect([(0, 1)], 3), ValueError, "edges: expected tuple of length 3, but got tuple of length 2"),
    (lambda: ta.stoer_wagner_bisect(([0, 1], [1], [1.0]), 3), ValueError, "edges: u, v and w differ in length (2, 1, 1)"),
    (lambda: ta.stoer_wagner_bisect(7, 3), TypeError,
     "edges: expected an (m, 3) array, a (u, v, w) triple, a networkx graph or an edge list, not int"),
    # The kernel's own errors, as the core raises them: fewer than two nodes whatever the edges, no finite cut, and a
    # NaN weight that leaves no vertex to select.
    (lambda: ta.stoer_wagner_bisect([(0, 5, 1.0)], 1), ValueError, "n_nodes must be >= 2 to bisect"),
    (lambda: ta.stoer_wagner_bisect([(0, 1, np.inf)], 2), ValueError, "no cut found"),
    (lambda: ta.stoer_wagner_bisect([(0, 1, 1.0), (1, 2, np.nan)], 3), PanicException,
     "a candidate remains while n_in_a < active_count"),
]


def oob(length, index):
    return "index out of bounds: the len is %s but the index is %s" % (length, index)


# Each rule a kernel keeps, broken once, through both faces from the same kernel check: the core's exception and text
# (fixed by its contract), and this face's ValueError naming the input and the item.
RULES = [
    # (function, arguments in the core's form, the core's exception and text, this face's text)
    ("simulate_qubo_runs", ([((1, 0), 1.0), ((0, 3), 1.0)], [0, 1, 0], 1, 0.1, 1), (PanicException, oob(3, 3)),
     "qubo cols[1]: index 3 is out of range for len(base_bits) = 3"),
    ("qubo_energy_spectrum", ([((3, 0), 1.0)], 3), (PanicException, oob(3, 3)), "qubo rows[0]: index 3 is out of range for n_vars = 3"),
    ("exact_ising_norm", ([(0, 1.0), (5, 1.0)], [], 3), (PanicException, oob(3, 5)),
     "dh sites[1]: index 5 is out of range for n_sites = 3"),
    ("exact_ising_norm", ([], [((0, 4), 1.0)], 4), (PanicException, oob(4, 4)), "dj cols[0]: index 4 is out of range for n_sites = 4"),
    ("run_statevector", ([("h", [0], []), ("h", [], [])], 2), (PanicException, oob(0, 0)), "instructions[1] ('h'): no qubit given"),
    ("run_statevector", ([("u", [0], [1.0, 2.0])], 2), (PanicException, oob(2, 2)),
     "instructions[0] ('u'): parameter 2 is missing (2 given)"),
    ("run_statevector", ([("rx", [2], [1.0])], 2), (PanicException, oob(4, 4)),
     "instructions[0] ('rx'): qubit 2 is out of range for n_qubits = 2"),
    ("run_statevector", ([("cx", [0, 70], [])], 2), (PanicException, oob(4, "2^70 + 1")),
     "instructions[0] ('cx'): qubit 70 is out of range for n_qubits = 2"),
    ("run_statevector", ([("cx", [0], [])], 2), (ValueError, "'cx' is not a single-qubit gate"),
     "instructions[0]: 'cx' is not a single-qubit gate"),
    ("build_ecc_lookup_table", (3, [[0], [1, 3]]), (ValueError, "stabilizer references data qubit 3 but n_data is 3"),
     "z_stabilizers[1]: index 3 is out of range for n_data = 3"),
    ("logical_failure_probability", (3, [[0, 1]], [0, 3], 0.1), (ValueError, "logical_z references data qubit 3 but n_data is 3"),
     "logical_z[1]: index 3 is out of range for n_data = 3"),
    ("stoer_wagner_bisect", ([(0, 1, 1.0), (0, 3, 1.0)], 3), (PanicException, oob(3, 3)),
     "edges v[1]: index 3 is out of range for n_nodes = 3"),
]  # fmt: skip


@pytest.mark.parametrize("name, args, core_raises, message", RULES)
def test_each_kernel_rule_reaches_both_faces(name, args, core_raises, message):
    with pytest.raises(core_raises[0]) as info:
        getattr(core, name)(*args)
    assert str(info.value) == core_raises[1]
    with pytest.raises(ValueError) as info:
        getattr(ta, name)(*args)
    assert str(info.value) == message


@pytest.mark.parametrize("call, exception, message", BAD_INPUTS)
def test_bad_inputs_are_refused_naming_the_argument(call, exception, message):
    with pytest.raises(exception) as info:
        call()
    assert str(info.value) == message


BYTE = np.zeros(1, np.uint8)
# The native layer called directly, with what arrays.py never hands it.
NATIVE_REFUSALS = [
    (lambda: _arrays.qubo_energy_spectrum(i64(0, 0, 0, 0)[::2], i64(0, 0), f64(1, 1), 1), ValueError, "not C-contiguous"),
    (lambda: _arrays.simulate_qubo_runs(i64(0), i64(0), i64(0), BYTE, 1, 0.1, 1), TypeError,
     r"^argument 'weights': expected a C-contiguous buffer of 8-byte items of format 'd', not 'l'$"),
    (lambda: _arrays.simulate_qubo_runs(i64(0), i64(0), unaligned(f64(1)), BYTE, 1, 0.1, 1), TypeError,
     "^argument 'weights': expected a buffer aligned to 8 bytes$"),
    (lambda: _arrays.simulate_qubo_runs(i64(), i64(), f64(), np.array([-1], np.int8), 1, 0.1, 1), TypeError,
     "^argument 'base_bits': expected a C-contiguous buffer of 1-byte items of format 'B', not 'b'$"),
    # every column against the view's length
    (lambda: _arrays.simulate_qubo_runs(i64(0), i64(0, 0), f64(1, 1), BYTE, 1, 0.1, 1), ValueError, "^rows has 1 elements, expected 2$"),
    (lambda: _arrays.qubo_energy_spectrum(i64(0, 0), i64(0), f64(1, 1), 1), ValueError, "^cols has 1 elements, expected 2$"),
    (lambda: _arrays.exact_ising_norm(i64(0), f64(1, 1), i64(), i64(), f64(), 1), ValueError, "^sites has 1 elements"),
    (lambda: _arrays.stoer_wagner_bisect(i64(0), i64(1, 0), f64(1, 1), 2), ValueError, "^first has 1 elements"),
    (lambda: _arrays.stoer_wagner_bisect(i64(0, 1), i64(1), f64(1, 1), 2), ValueError, "^second has 1 elements"),
    # the smallest valid size and an index just past it
    (lambda: _arrays.simulate_qubo_runs(i64(0), i64(0), f64(1), BYTE[:0], 1, 0.1, 1), ValueError, r"^qubo rows\[0\]: index 0 "),
    (lambda: _arrays.qubo_energy_spectrum(i64(0), i64(1), f64(1), 1), ValueError, r"^qubo cols\[0\]: index 1 is out of range"),
    (lambda: _arrays.exact_ising_norm(i64(1), f64(1), i64(), i64(), f64(), 1), ValueError, r"^dh sites\[0\]: index 1 "),
    (lambda: _arrays.run_statevector([("x", [0], [])], 0), ValueError, r"^instructions\[0\] \('x'\): qubit 0 is out of range"),
    (lambda: _arrays.build_ecc_lookup_table(0, i64(0, 1), i64(0)), ValueError, r"^z_stabilizers\[0\]: index 0 is out of range"),
    (lambda: _arrays.logical_failure_probability(0, i64(0), i64(), i64(0), f64(0.1)), ValueError, r"^logical_z\[0\]: index 0 "),
    (lambda: _arrays.stoer_wagner_bisect(i64(0), i64(2), f64(1), 2), ValueError, r"^edges v\[0\]: index 2 is out of range"),
    # compressed rows that would leave their qubits
    *[(lambda starts=i64(*starts), call=call: call(starts, i64(0, 0, 0)), ValueError, "^starts: expected offsets from 0 to len")
      for starts in [(), (1, 3), (0, 2, 1, 3), (0, 2), (0, 4), (0, 4, 3)]
      for call in [lambda s, q: _arrays.build_ecc_lookup_table(3, s, q),
                   lambda s, q: _arrays.logical_failure_probability(3, s, q, q, f64(0.1))]],
]  # fmt: skip


@pytest.mark.parametrize("call, exception, message", NATIVE_REFUSALS)
def test_the_native_layer_refuses_what_would_take_a_kernel_outside_its_memory(call, exception, message):
    with pytest.raises(exception, match=message):
        call()
