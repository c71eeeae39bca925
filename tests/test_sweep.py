"""tavik.sweep: the same bits on every engine (serial, a local cluster, a cluster of separate processes started with
Dask's own tools), nothing lost or duplicated when a worker dies mid-sweep, and a clear error without Dask."""

import os
import pathlib
import random
import shutil
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import tavik.tavik_core as core
from tavik import sweep
from tavik.exceptions import SizeViolation
from support import SLOWDOWN, bits, graph

distributed = pytest.importorskip("distributed")

QUBO = [((i, (3 * i + 1) % 12), 0.5 + (i % 5)) for i in range(12)] + [((i, i), -1.25) for i in range(12)]
BASE = [1, 0] * 6
SURFACE_3 = core.ecc.build_surface_code(3)
CODES = {
    "repetition-5": (5, [[q, q + 1] for q in range(4)], [0]),
    "surface-3": (9, SURFACE_3.z_stabilizers, SURFACE_3.logical_z),
    "random-14": (14, [[q for q in range(14) if random.Random(s).random() < 0.4] for s in range(9)], [0, 1]),
}
NOISE, SEEDS = [0.0, 0.05, 0.3], [7, 2**64 - 1]
GRAPHS = [graph("abc", [("a", "b", 1.0), ("b", "c", w)]) for w in (1.0, -1.0)]
P = np.array([1e-3, 0.01, 0.05, 0.1, 0.2, 0.5, 0.0, 1.0])


def serial_expectations():
    curves = [(name, [core.logical_failure_probability(*code, float(p)) for p in P]) for name, code in CODES.items()]
    noisy = []
    for noise in NOISE:
        for seed in SEEDS:
            runs, energies = core.simulate_qubo_runs(QUBO, BASE, 500, noise, seed)
            e = np.array(energies)
            noisy.append((noise, seed, e.mean(), e.min(), e.std(), sum(run == BASE for run in runs) / 500))
    patches = [core.ecc.build_surface_code(d).z_stabilizers for d in (1, 3, 5)]
    spins = [core.sim.IsingSimulator().solve_exact(g) for g in GRAPHS]
    return curves, noisy, patches, spins


def run_all(client):
    curves = sweep.failure_curves(CODES, P, client=client, progress=False)
    noisy = sweep.noisy_validation(QUBO, BASE, 500, NOISE, SEEDS, client=client, progress=False)
    squares = sweep.map(pow, range(20), [2] * 20, client=client, progress=False)
    # A function of a submodule and a method: they pickle by reference.
    patches = sweep.map(core.ecc.build_surface_code, [1, 3, 5], client=client, progress=False)
    spins = sweep.map(core.sim.IsingSimulator.solve_exact, [core.sim.IsingSimulator()] * 2, GRAPHS, client=client,
                      progress=False)  # fmt: skip
    # Curves in the codes' order (the largest codes run first).
    return ([(name, c.tolist()) for name, c in curves.items()], [tuple(stats) for stats in noisy], squares,
            [patch.z_stabilizers for patch in patches], spins)  # fmt: skip


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    """A scheduler and two single-threaded workers, each its own process on
    loopback (no nanny, so a killed worker stays dead)."""
    dask = shutil.which("dask") or pytest.skip("no dask command")
    directory = tmp_path_factory.mktemp("cluster")
    scheduler_file = directory / "scheduler.json"

    def start(name, *args):
        with open(directory / f"{name}.log", "w") as log:  # kept for a failure's report
            return subprocess.Popen([dask, *args, "--no-dashboard"], stdout=log, stderr=subprocess.STDOUT)

    procs = [start("scheduler", "scheduler", "--host", "127.0.0.1", "--port", "0", "--scheduler-file",
                   str(scheduler_file))]
    for k in range(2):
        procs.append(start(f"worker{k}", "worker", "--scheduler-file", str(scheduler_file), "--nthreads", "1",
                           "--no-nanny", "--host", "127.0.0.1"))
    try:
        deadline = time.monotonic() + 60
        while not scheduler_file.exists():
            assert time.monotonic() < deadline, "the scheduler did not start"
            time.sleep(0.1)
        with distributed.Client(scheduler_file=str(scheduler_file), timeout=60) as client:
            client.wait_for_workers(2, timeout=60)
            yield client, procs[1:], directory
    finally:
        for proc in reversed(procs):  # workers first, while the scheduler can still release them
            proc.terminate()
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


def within(seconds, cluster, call):
    """call()'s result; a failure with the cluster's logs if it has not
    returned in time (with every worker dead, a sweep waits for ever)."""
    outcome = []

    def run():
        try:
            outcome.append((True, call()))
        except BaseException as error:  # noqa: BLE001 - re-raised below, on the test's thread
            outcome.append((False, error))

    worker = threading.Thread(target=run, daemon=True)
    worker.start()
    worker.join(seconds)
    if not outcome:
        logs = "\n".join(f"--- {log.name}\n{log.read_text()[-3000:]}" for log in sorted(cluster[2].glob("*.log")))
        pytest.fail(f"no result within {seconds} s\n{logs}")
    returned, value = outcome[0]
    if not returned:
        raise value
    return value


def test_every_engine_gives_the_serial_bits(cluster):
    curves, noisy, patches, spins = serial_expectations()
    expected = bits((curves, noisy, [k**2 for k in range(20)], patches, spins))
    assert bits(run_all("serial")) == expected
    assert bits(within(120, cluster, lambda: run_all(cluster[0]))) == expected
    # The embedded default: a local cluster made and closed by the call.
    assert bits(sweep.map(core.exact_ising_norm, [[(0, 1.5)], []], [[((0, 1), -2.0)], []], [2, 0],
                          progress=False)) == bits([3.5, 0.0])


# About 30 ms each on one thread: many tasks per worker.
DENSE_20 = [((i, j), (-1.0) ** (i * j) * (1 + i + j)) for i in range(20) for j in range(i + 1, 20)]


def test_a_worker_killed_mid_sweep_loses_and_duplicates_nothing(cluster):
    client, workers, _ = cluster
    victim = workers[0]
    fields = [[(k % 20, 0.25 * k)] for k in range(120)]
    expected = [core.exact_ising_norm(f, DENSE_20, 20) for f in fields]
    killed_at = []
    killer = threading.Timer(0.5, lambda: (os.kill(victim.pid, signal.SIGKILL), killed_at.append(time.monotonic())))
    killer.start()
    results = within(300, cluster, lambda: sweep.map(core.exact_ising_norm, fields, [DENSE_20] * 120, [20] * 120,
                                                     client=client, progress=False))
    finished = time.monotonic()
    killer.join()
    assert victim.wait(timeout=10) == -signal.SIGKILL
    assert killed_at[0] < finished  # mid-sweep, with tasks of its own
    assert bits(results) == bits(expected)


# Tasks that start, say so, and would run for ten minutes. SIGINT gets Python's default handler: a process started in
# the background inherits it ignored.
SLOW_SWEEP = """
import signal, sys, time
signal.signal(signal.SIGINT, signal.default_int_handler)
from tavik import sweep

def slow(marker):
    open(marker, "a").close()
    time.sleep(600)

if __name__ == "__main__":
    sweep.map(slow, [sys.argv[1]] * 8, client="processes", progress=False)
"""
# The default cluster's workers are threads of the script: no guard needed.
SLOW_SWEEP_ON_THREADS = SLOW_SWEEP.replace('if __name__ == "__main__":\n    ', "").replace('client="processes", ', "")


@pytest.mark.parametrize("script", [SLOW_SWEEP, SLOW_SWEEP_ON_THREADS], ids=["processes", "threads"])
def test_ctrl_c_stops_a_sweep_on_a_local_cluster_at_once(tmp_path, script):
    psutil = pytest.importorskip("psutil")
    (tmp_path / "slow_sweep.py").write_text(script)
    marker = tmp_path / "started"
    with open(tmp_path / "stderr", "w+") as stderr:
        sweeping = subprocess.Popen([sys.executable, tmp_path / "slow_sweep.py", marker], stderr=stderr)
        try:
            deadline = time.monotonic() + 120 * SLOWDOWN
            while not marker.exists():  # the cluster is up and running tasks
                assert sweeping.poll() is None and time.monotonic() < deadline, "no task started"
                time.sleep(0.02)
            children = psutil.Process(sweeping.pid).children(recursive=True)
            signalled = time.monotonic()
            sweeping.send_signal(signal.SIGINT)
            sweeping.wait(timeout=60 * SLOWDOWN)
            took = time.monotonic() - signalled
        finally:
            sweeping.kill()
        stderr.seek(0)
        assert sweeping.returncode == -signal.SIGINT, stderr.read()
    assert took < 1.5 * SLOWDOWN
    assert bool(children) == (script == SLOW_SWEEP)  # the workers ...
    _, alive = psutil.wait_procs(children, timeout=0.5 * SLOWDOWN)  # ... and the tracker, whose pipe just closed
    assert not [child for child in alive if child.status() != psutil.STATUS_ZOMBIE]


def test_without_dask_only_the_serial_engine_runs(monkeypatch):
    monkeypatch.setitem(sys.modules, "distributed", None)
    assert sweep.map(pow, [2], [3], client="serial") == [8]
    with pytest.raises(ImportError, match=r"pip install 'tavik\[dask\]'"):
        sweep.map(pow, [2, 2], [3, 3])


@pytest.mark.parametrize("client, exception", [("fibers", ValueError), (4, TypeError)])
def test_an_unknown_engine_is_refused(client, exception):
    with pytest.raises(exception, match="client: expected a distributed.Client, None, 'threads', 'processes' or 'ser"):
        sweep.map(pow, [2], [3], client=client)


GOOD = {"codes": {"r3": (3, [[0, 1], [1, 2]], [0])}, "p": [0.1], "noise_levels": [0.1], "seeds": [1]}

# (arguments that differ from GOOD, exception, message): the messages tavik.arrays gives for the same faults, each
# code's named by its key.
BAD_ARGUMENTS = [
    ({"p": [0.1, None]}, TypeError, r"^p: expected real numbers, not an array of object$"),
    ({"codes": [(3, [[0, 1]], [0])]}, TypeError, r"^codes: expected a mapping of names to \(n_data, z_stabilizers, "),
    *[({"codes": {"r3": code}}, TypeError, rf"^codes\['r3'\]: expected \(n_data, z_stabilizers, logical_z\), not {type(code).__name__}$")
      for code in (5, "abc")],
    ({"codes": GOOD["codes"] | {"r2": (2, [[0, 1]])}}, ValueError,
     r"^codes\['r2'\]: expected 3 items \(n_data, z_stabilizers, logical_z\), got 2$"),
    ({"codes": {"r3": (3, [[0, 1]], [0], 0.1)}}, ValueError, r"^codes\['r3'\]: expected 3 items .*, got 4$"),
    ({"codes": {"r3": ("3", [[0, 1]], [0])}}, TypeError, r"^codes\['r3'\] n_data: expected an int, not str$"),
    ({"codes": {"r3": (3, [[0, 3]], [0])}}, ValueError,
     r"^codes\['r3'\] z_stabilizers\[0\]: index 3 is out of range for n_data = 3$"),
    ({"codes": {"big": (27, [], [0])}}, SizeViolation, r"^codes\['big'\]: lookup decoding requires n_data <= 26$"),
    ({"noise_levels": [0.1, None]}, TypeError, r"^noise_levels: expected real numbers, not an array of object$"),
    ({"noise_levels": 0.1}, TypeError, r"^noise_levels: expected an iterable of real numbers, not float$"),
    ({"seeds": [1, 2.0]}, TypeError, r"^seeds\[1\]: expected an int, not float$"),
    ({"seeds": [2**64]}, ValueError, r"^seeds\[0\]: must be < 2\*\*64, got 18446744073709551616$"),
    ({"seeds": 7}, TypeError, r"^seeds: expected an iterable of ints, not int$"),
]  # fmt: skip


@pytest.mark.parametrize(("changes", "error", "message"), BAD_ARGUMENTS)
def test_bad_arguments_are_refused_before_any_task(monkeypatch, changes, error, message):
    monkeypatch.setattr(sweep, "_run", lambda *_: pytest.fail("tasks were submitted"))
    a = GOOD | changes
    with pytest.raises(error, match=message):
        if {"codes", "p"} & changes.keys():
            sweep.failure_curves(a["codes"], a["p"])
        else:
            sweep.noisy_validation(QUBO, BASE, 5, a["noise_levels"], a["seeds"])


def test_levels_and_seeds_may_be_generators():
    stats = sweep.noisy_validation(QUBO, BASE, 5, (x for x in [0.3, 0]), iter([7, np.uint64(2**64 - 1), True]),
                                   client="serial", progress=False)  # fmt: skip
    assert [(s.noise_level, s.seed) for s in stats] == [(0.3, 7), (0.3, 2**64 - 1), (0.3, 1),
                                                        (0.0, 7), (0.0, 2**64 - 1), (0.0, 1)]  # fmt: skip
    assert all(type(s.noise_level) is float and type(s.seed) is int for s in stats)


def test_the_threshold_example_draws_its_curves(tmp_path):
    example = pathlib.Path(__file__).resolve().parent.parent / "examples" / "threshold_plot.py"
    out = tmp_path / "curves.png"
    args = [sys.executable, str(example), "--max-distance", "5", "--points", "9", "--out", str(out)]
    result = subprocess.run(args, capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stderr
    assert "surface d=3: P_L(0.001) = 1.793010e-05, pseudo-threshold 0.0753" in result.stdout
    assert "crossing d=3/d=5: 0.0925" in result.stdout and "d=7" not in result.stdout  # beyond --max-distance
    assert out.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and out.stat().st_size > 10_000
