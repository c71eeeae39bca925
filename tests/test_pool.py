"""The worker pool, seen through the kernels that use it: results do not
depend on the number of CPUs, forked children get a working pool, and the
interpreter exits cleanly with the pool's threads idle or busy."""

import os
import subprocess
import sys

import pytest

# Enough runs for many chunks on any pool size; NaN, infinities and repeated
# terms exercise every lane of the energy loop.
WORKLOAD = """
import hashlib, random
import tavik.tavik_core as core

def workload():
    rng = random.Random(7)
    qubo = [((rng.randrange(61), rng.randrange(61)), rng.uniform(-3, 3)) for _ in range(400)]
    qubo += [((3, 3), float("inf")), ((5, 7), -0.0)]
    runs, energies = core.simulate_qubo_runs(qubo, [rng.randrange(2) for _ in range(61)], 1203, 0.3, 99)
    return hashlib.sha256(repr(runs).encode() + "".join(e.hex() for e in energies).encode()).hexdigest()
"""
FORKED = """
import multiprocessing, threading
print(workload())  # the pool now exists
with multiprocessing.get_context("fork").Pool(2) as pool:
    print(*pool.starmap_async(workload, [()] * 4).get(60))
print(workload())  # and it still works
"""


@pytest.mark.parametrize(
    "count, ending, status",
    [
        (1, "", 0),  # on one CPU or two, the results of this process, which uses all of them
        (2, "", 0),
        (None, "import sys; sys.exit(3)", 3),
        (None, "t = threading.Thread(target=workload); t.start(); t.join()", 0),
        (None, "threading.Thread(target=workload, daemon=True).start()", 0),  # busy at exit
    ],
)
def test_same_results_on_any_cpu_count_and_after_fork_then_a_clean_exit(count, ending, status):
    cpus = sorted(os.sched_getaffinity(0))
    if len(cpus) < (count or 0):
        pytest.skip(f"{len(cpus)} CPU(s) available")
    exec(WORKLOAD, namespace := {})  # this process uses every CPU
    code = f"import os\nos.sched_setaffinity(0, {set(cpus[:count])!r})\n" + WORKLOAD + FORKED + ending
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert (result.returncode, result.stderr) == (status, "")
    assert result.stdout.split() == [namespace["workload"]()] * 6
