"""tavik.qec: failure polynomials of rotated surface codes past the lookup
table's 26 data qubits, with their time, memory and certified P_L; the
memory guard and Ctrl-C; and the start-up of tavik.sweep's engines.

Each large count runs in a process of its own, so that its peak memory is its
own. Run: python benchmarks/bench_qec.py [--quick] (--quick leaves out d = 7
with W = 8 and d = 9, a minute or two on two CPUs)."""

import json
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))

import tavik.tavik_core as core  # noqa: E402
from common import best_time, fmt_time, print_table  # noqa: E402
from tavik import qec, sweep  # noqa: E402

COUNT = """
import json, resource, sys, time
from tavik import qec
d, w = int(sys.argv[1]), int(sys.argv[2])
start = time.perf_counter()
poly = qec.failure_polynomial(d, max_weight=w)
seconds = time.perf_counter() - start
rates = [1e-4, 3e-4, 1e-3, 3e-3, 1e-2, 3e-2]
lo, hi = poly.bounds(rates)
print(json.dumps({"seconds": seconds, "peak": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024,
                  "counts": poly.counts, "rates": rates, "lo": lo.tolist(), "hi": hi.tolist()}))
"""


def count(d, w):
    out = subprocess.run([sys.executable, "-c", COUNT, str(d), str(w)], capture_output=True, text=True, check=True)
    return json.loads(out.stdout)


def useful_from(result):
    """The largest rate listed whose certified interval is within 1% of its value."""
    good = [p for p, lo, hi in zip(result["rates"], result["lo"], result["hi"]) if hi - lo <= 0.01 * lo]
    return f"p <= {max(good):g}" if good else "none listed"


def ctrl_c_latency():
    """Seconds from SIGINT to KeyboardInterrupt, 0.3 s into a d = 9 count."""
    signal.signal(signal.SIGINT, signal.default_int_handler)
    signal.signal(signal.SIGALRM, lambda *_: os.kill(os.getpid(), signal.SIGINT))
    signal.setitimer(signal.ITIMER_REAL, 0.3)
    fired = time.perf_counter() + 0.3
    try:
        qec.failure_polynomial(9, max_weight=6)
    except KeyboardInterrupt:
        return time.perf_counter() - fired
    return float("nan")


def engine_start(client):
    start = time.perf_counter()
    sweep.map(abs, range(4), client=client, progress=False)
    return time.perf_counter() - start


def main():
    quick = "--quick" in sys.argv
    patch = core.ecc.build_surface_code(5)
    single = best_time(lambda: core.logical_failure_probability(25, patch.z_stabilizers, patch.logical_z, 1e-3))
    complete = best_time(lambda: qec.failure_polynomial(5))
    rows = [["d = 5 complete (25 qubits)", fmt_time(complete), f"{complete / single:.2f}x one core call "
             f"({fmt_time(single)})", "", ""]]  # fmt: skip
    cases = [(7, 7), (7, 8), (9, 6)] if not quick else [(7, 6), (7, 7)]
    for d, w in cases:
        result = count(d, w)
        lo, hi = result["lo"][2], result["hi"][2]
        rows.append([f"d = {d} ({d * d} qubits, {(d * d - 1) // 2} checks), W = {w}", fmt_time(result["seconds"]),
                     f"P_L(1e-3) in [{lo:.7e}, {hi:.7e}], width {(hi - lo) / lo:.1e}",
                     f"{result['peak'] / 2**20:.0f} MiB", useful_from(result)])  # fmt: skip
    start = time.perf_counter()
    try:
        qec.failure_polynomial(11, max_weight=12)
    except MemoryError:
        rows.append(["d = 11, W = 12: MemoryError", fmt_time(time.perf_counter() - start), "before any walk", "", ""])
    rows.append(["Ctrl-C during d = 9, W = 6", fmt_time(ctrl_c_latency()), "signal to KeyboardInterrupt", "", ""])
    print_table("tavik.qec on this machine (one run; peak memory of the process)",
                ["count", "time", "result", "memory", "bounds within 1%"], rows)

    engine_start("threads")  # Dask imported
    print_table("tavik.sweep: 4 tiny tasks, cluster start and stop included", ["engine", "time"], [
        ["default: threads in this process", fmt_time(engine_start(None))],
        ["client='processes': a worker process per CPU", fmt_time(engine_start("processes"))],
        ["client='serial'", fmt_time(engine_start("serial"))],
    ])  # fmt: skip


if __name__ == "__main__":
    main()
