"""The worker pool, seen through the kernels that use it: results do not
depend on the number of CPUs, forked children get a working pool, and the
interpreter exits cleanly with the pool's threads idle."""

import os
import subprocess
import sys
import textwrap

import pytest

TIMEOUT = 120

# Enough runs for many chunks on any pool size; NaN, infinities and repeated
# terms exercise every lane of the energy loop.
WORKLOAD = textwrap.dedent(
    """
    import hashlib, random
    import tavik.tavik_core as core

    def workload():
        rng = random.Random(7)
        n = 61
        qubo = [((rng.randrange(n), rng.randrange(n)), rng.uniform(-3, 3)) for _ in range(400)]
        qubo += [((3, 3), float("inf")), ((5, 7), -0.0)]
        runs, energies = core.simulate_qubo_runs(qubo, [rng.randrange(2) for _ in range(n)], 1203, 0.3, 99)
        digest = hashlib.sha256(repr(runs).encode())
        digest.update(b"".join(e.hex().encode() for e in energies))
        return digest.hexdigest()
    """
)


def run_python(code, cpus=None):
    prelude = f"import os\nos.sched_setaffinity(0, {set(cpus)!r})\n" if cpus is not None else ""
    result = subprocess.run([sys.executable, "-c", prelude + code], capture_output=True, text=True, timeout=TIMEOUT)
    assert result.returncode == 0, result.stderr
    return result.stdout.strip()


def in_process_digest():
    namespace = {}
    exec(WORKLOAD, namespace)
    return namespace["workload"]()


def usable_cpus():
    return sorted(os.sched_getaffinity(0))


def test_results_do_not_depend_on_cpu_count():
    cpus = usable_cpus()
    expected = in_process_digest()
    code = WORKLOAD + "print(workload())"
    assert run_python(code, cpus[:1]) == expected
    if len(cpus) >= 2:
        assert run_python(code, cpus[:2]) == expected
    else:
        pytest.skip("one CPU available: only the single-CPU run was compared")


def test_forked_child_gets_a_working_pool():
    expected = in_process_digest()  # the parent's pool now exists
    code = WORKLOAD + textwrap.dedent(
        """
        import os, sys, time
        print(workload())
        read, write = os.pipe()
        pid = os.fork()
        if pid == 0:
            os.close(read)
            os.write(write, workload().encode())
            os._exit(0)
        os.close(write)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            done, status = os.waitpid(pid, os.WNOHANG)
            if done:
                break
            time.sleep(0.01)
        else:
            os.kill(pid, 9)
            sys.exit("forked child hung")
        print(os.read(read, 1000).decode())
        print(workload())  # and the parent's pool still works
        """
    )
    assert run_python(code).split() == [expected] * 3


def test_multiprocessing_fork_start_method():
    code = WORKLOAD + textwrap.dedent(
        """
        import multiprocessing
        if __name__ == "__main__":
            first = workload()
            with multiprocessing.get_context("fork").Pool(2) as pool:
                pending = [pool.apply_async(workload) for _ in range(4)]
                print(first, *[p.get(60) for p in pending])
        """
    )
    assert run_python(code).split() == [in_process_digest()] * 5


@pytest.mark.parametrize(
    "ending",
    [
        "",
        "import sys; sys.exit(3)",
        "import threading; t = threading.Thread(target=workload); t.start(); t.join()",
        "import threading; threading.Thread(target=workload, daemon=True).start()",
    ],
)
def test_interpreter_exit_with_live_pool(ending):
    code = WORKLOAD + "workload()\n" + ending
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=TIMEOUT)
    assert result.returncode == (3 if "exit(3)" in ending else 0), result.stderr
    assert result.stderr == ""
