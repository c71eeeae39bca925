"""The worker pool, seen through the kernels that use it: forked children get a working pool, the interpreter exits
cleanly with the pool's threads idle or busy, and a pool that cannot start every worker runs with those it has."""

import os
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

import tavik.tavik_core as core
from support import run_child

# Enough runs for many chunks on any pool size; NaN, infinities and repeated terms exercise every lane of the energy
# loop.
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
# Each forked child makes a pool of its own, of as many threads (the pool's, less the caller) as the parent's.
FORKED = """
import multiprocessing, threading
def forked():
    before = len(os.listdir("/proc/self/task"))
    return workload(), len(os.listdir("/proc/self/task")) - before
print(workload())  # the pool now exists
with multiprocessing.get_context("fork").Pool(2, maxtasksperchild=1) as pool:
    print(*[f"{digest} {threads}" for digest, threads in pool.starmap_async(forked, [()] * 4).get(60)])
print(workload())  # and it still works
"""


# The results on one CPU or two are test_arrays' (test_results_do_not_depend_on_the_number_of_cpus).
@pytest.mark.parametrize("ending, status", [
    ("import sys; sys.exit(3)", 3),
    ("t = threading.Thread(target=workload); t.start(); t.join()", 0),
    ("threading.Thread(target=workload, daemon=True).start()", 0),  # busy at exit
])
def test_same_results_after_fork_then_a_clean_exit(ending, status):
    exec(WORKLOAD, namespace := {})
    result = run_child(WORKLOAD + FORKED + ending)
    assert (result.returncode, result.stderr) == (status, "")
    digest, threads = namespace["workload"](), len(os.sched_getaffinity(0)) - 1
    assert result.stdout.split() == [digest] + [digest, str(threads)] * 4 + [digest]


# A thread inside lock-released calls while the interpreter exits, after the main thread's last statement or on Ctrl-C
# while it waits for the thread. Once finalizing, the interpreter ends any other thread that asks for the lock back.
BUSY_IN_ARRAYS = """
import threading, time
import tavik.arrays as ta
thread = threading.Thread(target=lambda: [ta.qubo_energy_spectrum([((0, 1), 1.0)] * 300, 20) for _ in range(99)],
                          daemon=True)
thread.start()
time.sleep(0.3)
"""


# A shell starts a background job with SIGINT ignored, and a child inherits that.
JOIN_UNTIL_CTRL_C = """
import signal
signal.signal(signal.SIGINT, signal.default_int_handler)
print("joining", flush=True)
thread.join()
"""


@pytest.mark.parametrize("ending, status", [("", 0), (JOIN_UNTIL_CTRL_C, -signal.SIGINT)])
def test_the_interpreter_exits_while_a_thread_is_inside_a_lock_released_call(ending, status):
    child = subprocess.Popen([sys.executable, "-c", BUSY_IN_ARRAYS + ending], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    if ending:
        assert child.stdout.readline() == "joining\n"
        time.sleep(0.3)
        child.send_signal(signal.SIGINT)
    _, err = child.communicate(timeout=60)
    assert child.returncode == status, err
    assert "terminate" not in err and "FATAL" not in err


@pytest.mark.parametrize("fail, after", [("pthread_create", 0), ("pthread_create", 2), ("new", 1), ("new", 3)])
def test_a_pool_that_cannot_start_every_worker_runs_with_those_it_has(cpu_shim, fail, after):
    preload = os.environ.get("LD_PRELOAD", "")
    if fail == "new" and ("libasan" in preload or "libtsan" in preload):
        pytest.skip("the sanitizer's operator new is found before the shim's")
    if fail == "new" and b"libstdc++.so.6" not in Path(core.__file__).read_bytes():
        pytest.skip("the module carries its own C++ runtime, whose failures cannot be staged from outside")
    exec(WORKLOAD, namespace := {})
    # Threads the pool added: an emulator or a library may run threads of its own.
    code = WORKLOAD + "before = len(os.listdir('/proc/self/task'))\nprint(workload(), len(os.listdir('/proc/self/task')) - before)"
    result = run_child(code, preload=cpu_shim, env={"SHIM_FAIL": fail, "SHIM_AFTER": str(after)})
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout.split() == [namespace["workload"](), str(after)]  # the workers it got


@pytest.mark.skipif(not Path("/proc/self/task").is_dir() or len(os.sched_getaffinity(0)) < 2,
                    reason="needs /proc and a pool with workers")
def test_the_workers_leave_asynchronous_signals_to_the_interpreters_thread():
    # Otherwise the system may hand a Ctrl-C or a timer's signal to a sleeping worker, and the interpreter hears of it
    # late.
    code = WORKLOAD + """import signal
before = set(os.listdir('/proc/self/task'))
workload()
def blocked(task):
    mask = next(int(line.split()[1], 16) for line in open(f'/proc/self/task/{task}/status') if line.startswith('SigBlk'))
    return sorted(s.name for s in signal.Signals if mask >> (s - 1) & 1)
print(*[blocked(t) for t in set(os.listdir('/proc/self/task')) - before], blocked(os.getpid()), sep='\\n')
"""
    result = run_child(code)
    assert (result.returncode, result.stderr) == (0, "")
    *added, caller = [set(eval(line)) for line in result.stdout.splitlines()]
    assert added and caller == set()
    assert all({"SIGINT", "SIGALRM", "SIGTERM", "SIGCHLD", "SIGUSR1"} <= blocked for blocked in added)
    # A fault belongs to the thread that causes it. (A sanitizer may add a thread of its own that blocks every signal;
    # the pool adds one per CPU but the caller's.)
    faults_deliverable = [not {"SIGSEGV", "SIGBUS", "SIGFPE", "SIGILL"} & blocked for blocked in added]
    assert sum(faults_deliverable) == len(os.sched_getaffinity(0)) - 1


# Published before the module loads, as the package's first extension module would: a pool of four threads whose jobs
# run on the caller, logging how many workers each job asks for. A second call from the same thread asks again.
ADOPTED = """
import ctypes, sys, types
WORK = ctypes.CFUNCTYPE(None, ctypes.c_void_p)
class Workers(ctypes.Structure):
    _fields_ = [("concurrency", ctypes.CFUNCTYPE(ctypes.c_size_t)),
                ("run", ctypes.CFUNCTYPE(ctypes.c_bool, ctypes.c_size_t, WORK, ctypes.c_void_p))]
asked = []
def run(helpers, work, job):
    asked.append(helpers)
    work(job)
    return True
workers = Workers(Workers._fields_[0][1](lambda: 4), Workers._fields_[1][1](run))
new_capsule = ctypes.pythonapi.PyCapsule_New
new_capsule.restype, new_capsule.argtypes = ctypes.py_object, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]
sys.modules["tavik._pool"] = types.SimpleNamespace(workers=new_capsule(ctypes.addressof(workers), NAME, None))
"""


@pytest.mark.parametrize("name, runs, asked", [
    # Runs go in groups of 32, a chunk at least one group, at most 4 chunks a thread; the caller takes one chunk, and
    # a worker each of the rest.
    (b"tavik._pool.workers", 33, [1]),
    (b"tavik._pool.workers", 65, [2]),
    (b"tavik._pool.workers", 1203, [12]),  # 38 groups: 13 chunks of 3
    (b"tavik._pool.other-layout", 33, None),
])
def test_the_module_runs_its_jobs_on_the_pool_already_published(name, runs, asked):
    code = f"NAME = {name!r}\n" + ADOPTED + WORKLOAD.replace("1203", str(runs)) + "print(workload(), workload(), asked)"
    result = run_child(code)
    if asked is None:
        assert "PyCapsule_GetPointer called with incorrect name" in result.stderr
        return
    exec(WORKLOAD.replace("1203", str(runs)), namespace := {})
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout.split(maxsplit=2) == [namespace["workload"]()] * 2 + [f"{asked * 2}\n"]
