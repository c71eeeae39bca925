"""The worker pool, seen through the kernels that use it: results do not
depend on the number of CPUs, forked children get a working pool, and the
interpreter exits cleanly with the pool's threads idle."""

import os
import subprocess
import sys
import textwrap

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


def run_python(code, cpus=None):
    prelude = f"import os\nos.sched_setaffinity(0, {set(cpus)!r})\n" if cpus else ""
    code = prelude + WORKLOAD + textwrap.dedent(code)
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)


@pytest.mark.parametrize("count", [1, 2])
def test_same_results_on_any_cpu_count_and_in_forked_children(count):
    cpus = sorted(os.sched_getaffinity(0))
    if len(cpus) < count:
        pytest.skip(f"{len(cpus)} CPU(s) available")
    namespace = {}
    exec(WORKLOAD, namespace)  # this process uses every CPU
    code = """
        import multiprocessing
        if __name__ == "__main__":
            print(workload())  # the parent's pool now exists
            with multiprocessing.get_context("fork").Pool(2) as pool:
                print(*pool.starmap_async(workload, [()] * 4).get(60))
            print(workload())  # and the parent's pool still works
        """
    result = run_python(code, cpus[:count])
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == [namespace["workload"]()] * 6


@pytest.mark.parametrize(
    "ending, status",
    [
        ("", 0),
        ("import sys; sys.exit(3)", 3),
        ("import threading; t = threading.Thread(target=workload); t.start(); t.join()", 0),
        ("import threading; threading.Thread(target=workload, daemon=True).start()", 0),
    ],
)
def test_interpreter_exit_with_live_pool(ending, status):
    result = run_python("workload()\n" + ending)
    assert (result.returncode, result.stderr) == (status, "")
