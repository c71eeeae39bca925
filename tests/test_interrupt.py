"""Ctrl-C during a long call: KeyboardInterrupt comes out of the call within a fraction of a second (not when the call
would have ended), and the module stays usable, the worker pool included."""

import gc
import os
import pickle
import random
import signal
import sys
import time

import numpy as np
import pytest

import tavik.arrays as ta
import tavik.tavik_core as core
from tavik import circuits, graphs, qec, qubo
from support import SLOWDOWN, graph

DELAY = 0.05 * SLOWDOWN  # seconds into the call at which SIGINT arrives

rng = random.Random(8)
DENSE = [((i, j), rng.uniform(-1, 1)) for i in range(20) for j in range(i, 20)]
SMALL = [t for t in DENSE if t[0][1] < 7]
RANK_21 = [[q for q in range(26) if rng.random() < 0.5] for _ in range(21)]
QUBO_40 = {(i, j): random.Random(i * 64 + j).uniform(-1, 1) for i in range(40) for j in range(i, 40)}
QUBO_12 = {key: w for key, w in QUBO_40.items() if key[1] < 12}
# Full rank: the slowest direct table of 26 qubits, a few times the delay on an idle machine.
TABLE_RNG = random.Random(8)
RANK_26_ROWS = [[int(TABLE_RNG.random() < 0.5) for _ in range(26)] for _ in range(26)]
FAILURE_COUNTS = lambda code, weight=None: qec.failure_polynomial(code, max_weight=weight).counts  # noqa: E731
STATE_20 = np.full(2**20, 2.0**-10, dtype=complex)
PAULIS_20 = ["".join(rng.choice("IXYZ") for _ in range(20)) for _ in range(4000)]
SAMPLE = lambda state, shots: circuits.sample(state, shots, seed=1)  # noqa: E731


def torus(side):
    """A unit-weight torus: its minimum cut is a node's degree, which the contractions prove
    only slowly (tens of seconds at 200 x 200)."""
    ids = np.arange(side * side).reshape(side, side)
    rows = np.concatenate([ids.ravel(), ids.ravel()])
    return rows, np.concatenate([np.roll(ids, 1, 0).ravel(), np.roll(ids, 1, 1).ravel()]), np.ones(2 * side * side)


def ring(n, degree=3):
    return [(i, (i * 7 + k) % n, 1.0 + k) for i in range(n) for k in range(1, degree + 1)]


GRAPH = graph([f"v{k}" for k in range(20)], [(f"v{i}", f"v{j}", 1.0 + i - j) for i in range(20) for j in range(20)] * 2)
LONG_GRAPH = core.sim.LogicalGraph(GRAPH.variables, GRAPH.interactions * 16)


def cutting_instance(samples, coefficients, label_repeats):
    c = core.cutting
    hist = {format(k, "012b"): k for k in range(2048)}
    counts = [c.SubcircuitSampleCounts(s, label, hist, 10**6) for s in range(samples) for label in "abcd"]
    coefficients = [c.SampleCoefficient(k % samples, 0.5) for k in range(coefficients)]
    return counts, coefficients, list("abcd") * label_repeats


CUTTING = cutting_instance(400, 100_000, 400)
SMALL_CUTTING = cutting_instance(3, 10, 1)

# function: (arguments of a long call, of a small one, seconds the signal-to-exception time must stay under). The
# bounds are generous for shared machines and the sanitizer build (the time is a few milliseconds). The long calls
# take seconds, except the failure probability (its size is at the module's limit), so that the signal finds them
# running however much slower the machine is; stopped early, their length costs nothing. The array face's run with the
# lock released, their work on the pool.
sim, ecc = core.sim, core.ecc
CASES = {
    "enumeration": (core.qubo_energy_spectrum, (DENSE * 64, 20), (SMALL, 7), 1.0),
    "norm": (core.exact_ising_norm, ([], DENSE * 64, 20), ([(0, 1.0)], SMALL, 7), 1.0),
    "solve_exact": (lambda g: sim.IsingSimulator().solve_exact(g), (LONG_GRAPH,),
                    (sim.LogicalGraph(GRAPH.variables[:6], GRAPH.interactions),), 1.0),
    "statevector": (core.run_statevector, ([("h", [q], []) for q in range(22)] * 60, 22), ([("h", [0], []), ("cx", [0, 1], [])], 2), 1.0),
    "statevector result": (core.run_statevector, ([("h", [q], []) for q in range(23)], 23), ([("h", [1], [])], 3), 1.0),  # 8M tuples
    "noisy runs": (core.simulate_qubo_runs, (DENSE * 4, [0] * 20, 2_000_000, 0.1, 3), (DENSE, [1] * 20, 3000, 0.3, 5), 1.0),
    "lookup table": (core.build_ecc_lookup_table, (26, RANK_21), (5, [[0, 1], [1, 2], [2, 3], [3, 4]]), 1.0),
    "failure probability": (core.logical_failure_probability, (26, RANK_21, [0, 1], 0.1), (5, [[0, 1], [1, 2]], [0, 1], 0.1), 0.15),
    "stoer_wagner": (core.stoer_wagner_bisect, (ring(2500), 2500), (ring(20), 20), 1.0),
    "stoer_wagner (matrix)": (core.stoer_wagner_bisect, (ring(2500, 20), 2500), (ring(20, 19), 20), 1.0),  # dense enough for it
    "stoer_wagner (many nodes)": (core.stoer_wagner_bisect, ([(0, 1, 1.0)], 3 * 10**6), ([(0, 1, 1.0)], 20), 1.0),  # hours of phases
    "routing": (core.vrp_qubo_terms, ([[float(i != j) for j in range(150)] for i in range(150)], 1.0, 1.0),
                ([[0.0, 2.0, 3.0], [2.0, 0.0, 1.0], [3.0, 1.0, 0.0]], 1.0, 1.0), 1.0),
    "noisy runs (arrays)": (ta.simulate_qubo_runs, (DENSE * 32, [0] * 20, 2_000_000, 0.1, 3), (DENSE, [1] * 20, 3000, 0.3, 5), 0.2),
    "qubo lowest": (qubo.lowest, (QUBO_40, 10), (QUBO_12, 3), 0.2),
    "qubo levels": (qubo.levels, (QUBO_40, 10), (QUBO_12, 3), 0.2),
    "failure polynomial": (FAILURE_COUNTS, (9, 6), (3,), 0.2),
    "failure polynomial (table)": (FAILURE_COUNTS, ((np.array(RANK_26_ROWS), [0, 1]),), (3,), 0.2),
    "circuits simulate": (circuits.simulate, ([("h", [q], []) for q in range(22)] * 60,), ([("h", [1], [])],), 0.2),
    "circuits expectation": (circuits.expectation, (STATE_20, dict.fromkeys(PAULIS_20, 1.0)), (STATE_20[:4], {"XZ": 1.0}), 0.2),
    "circuits sample": (SAMPLE, (STATE_20, 10**8), (STATE_20[:4], 5), 0.2),  # NumPy's draws and sorts, a chunk at a time
    "min cut": (graphs.min_cut, (torus(200),), (torus(4),), 0.2),
    "reconstruction": (core.cutting.reconstruct_expectation, CUTTING, SMALL_CUTTING, 0.15),  # parallel parity sums and products
}  # fmt: skip


@pytest.fixture
def sigint_after_delay():
    """Arms, when called, a timer whose handler sends a real SIGINT to this process (handled by Python's default
    handler at the next check); returns the time it fires. Armed just before the long call, so that however slow the
    machine, the signal cannot land in the test's own code. The collector stays off meanwhile: a collection runs the
    gc callbacks of other tools (hypothesis has one), where a pending signal's exception is raised and then discarded
    as unraisable. SIGINT gets Python's default handler for the test: a process started in the background by a shell
    inherits SIGINT ignored, and Python then leaves it so."""
    previous = signal.signal(signal.SIGALRM, lambda *_: os.kill(os.getpid(), signal.SIGINT))
    previous_int = signal.signal(signal.SIGINT, signal.default_int_handler)
    gc.disable()

    def arm():
        fires = time.perf_counter() + DELAY
        signal.setitimer(signal.ITIMER_REAL, DELAY)
        return fires

    yield arm
    signal.setitimer(signal.ITIMER_REAL, 0)
    gc.enable()
    signal.signal(signal.SIGINT, previous_int)
    signal.signal(signal.SIGALRM, previous)


@pytest.mark.parametrize("function, long_args, small_args, bound", CASES.values(), ids=CASES.keys())
def test_sigint_stops_a_long_call_promptly(function, long_args, small_args, bound, sigint_after_delay):
    expected = pickle.dumps(function(*small_args))  # arrays whole, unlike their repr
    with pytest.raises(KeyboardInterrupt):
        fires = sigint_after_delay()
        function(*long_args)
    assert time.perf_counter() - fires < bound * SLOWDOWN
    assert pickle.dumps(function(*small_args)) == expected
    # The pool is idle and whole: a parallel call gives the same runs.
    runs = core.simulate_qubo_runs(DENSE, [0] * 20, 5000, 0.2, 11)
    assert runs == core.simulate_qubo_runs(DENSE, [0] * 20, 5000, 0.2, 11)


# A signal handler runs inside the call that reads a record in place, and assigns to the record: the call reads the
# record as it was when it began, and the assignment holds afterwards.
READS_IN_PLACE = {
    "solve_exact": lambda g: core.sim.IsingSimulator().solve_exact(g),
    "attribute": lambda g: len(g.variables),
    "pickled state": lambda g: len(sys.modules["tavik._record_state"].state(g)[0]),
}


@pytest.mark.parametrize("read", READS_IN_PLACE.values(), ids=READS_IN_PLACE.keys())
def test_a_handler_may_assign_to_a_record_that_a_call_reads(read):
    if read is READS_IN_PLACE["solve_exact"]:
        record = core.sim.LogicalGraph(GRAPH.variables, GRAPH.interactions)  # tens of ms
    else:  # a million records to convert
        record = core.sim.LogicalGraph(GRAPH.variables[:1] * 1_000_000, [])
    expected = read(record)
    replaced = []

    def replace(*_):
        record.variables, record.interactions = [], []
        replaced.append(True)

    previous = signal.signal(signal.SIGALRM, replace)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.01)
        assert read(record) == expected
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert replaced and (record.variables, record.interactions) == ([], [])
