"""tavik.qubo against dimod's ExactSolver and against its targets, and its walk against this
machine's double-add rate.

Dense models with uniform weights in [-1, 1]. Rows: the whole call at n = 20 against
ExactSolver's (which builds all 2^20 samples); lowest(model, 10) at n = 32 and levels(model,
10) against it; n = 36 once (`--quick` leaves it out). The walk adds one double per assignment,
so its rate on one core (CPU time per assignment of a call on every core) is set against the
peak rate of independent double adds that bench_roofline.py's probe measures.

    pip install '.[bench]' && python benchmarks/bench_qubo.py
"""

import os
import subprocess
import sys
import time

import numpy as np

from common import cpu_time, fmt_time, print_table

from tavik import qubo

try:
    import dimod
except ImportError:  # the peer is optional
    dimod = None

HERE = os.path.dirname(os.path.abspath(__file__))


def dense(n, seed=1):
    rng = np.random.default_rng(seed)
    return np.triu(rng.uniform(-1, 1, (n, n)))


def wall(fn, repeat=3):
    """Least wall-clock time of fn() over `repeat` calls (a shared machine: others' load only adds)."""
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def peak_adds():
    """Double adds per second on one core, from bench_roofline's probe (in a child: importing
    that script pins its process to one CPU)."""
    script = "from bench_roofline import probe; print(probe()[1])"
    out = subprocess.run([sys.executable, "-c", script], cwd=HERE, capture_output=True, text=True, check=True)
    return float(out.stdout.split()[-1])


def main():
    quick = "--quick" in sys.argv
    rows = []

    q20 = dense(20)
    if dimod is not None:
        bqm = dimod.BQM.from_qubo({(i, j): q20[i, j] for i, j in zip(*np.nonzero(q20))})
        ours = wall(lambda: qubo.lowest(bqm, 10), repeat=5)
        theirs = wall(lambda: dimod.ExactSolver().sample(bqm).lowest(), repeat=2)
        rows.append(("n = 20 lowest(bqm, 10) vs ExactSolver", fmt_time(ours), fmt_time(theirs),
                     f"{theirs / ours:.0f}x faster", ">= 100x"))
    else:
        print("dimod is not installed: no ExactSolver row (pip install dimod)")

    q32 = dense(32)
    t_lowest = wall(lambda: qubo.lowest(q32, 10))
    t_levels = wall(lambda: qubo.levels(q32, 10))
    rows.append(("n = 32 lowest(Q, 10)", fmt_time(t_lowest), "", f"{10 / t_lowest:.1f}x under target", "<= 10 s"))
    rows.append(("n = 32 levels(Q, 10)", fmt_time(t_levels), fmt_time(t_lowest),
                 f"{t_levels / t_lowest:.2f}x lowest", "<= 1.5x lowest"))
    if not quick:
        q36 = dense(36)
        t36 = wall(lambda: qubo.lowest(q36, 10), repeat=1)
        rows.append(("n = 36 lowest(Q, 10)", fmt_time(t36), "", f"{240 / t36:.1f}x under target", "<= 4 min"))
    print_table("tavik.qubo on this machine (dense, uniform weights; least of a few runs)",
                ["call", "time", "against", "ratio", "target"], rows)

    per_assignment = cpu_time(lambda: qubo.lowest(q32, 10), repeat=3) / 2**32
    adds = peak_adds()
    print_table("the walk against the add rate (one add per assignment, CPU time of a call on every core)",
                ["call", "CPU time per assignment", "adds/s on one core", "peak adds/s", "of peak"],
                [("n = 32 lowest(Q, 10)", f"{per_assignment * 1e9:.3f} ns", f"{1 / per_assignment:.3g}",
                  f"{adds:.3g}", f"{1 / per_assignment / adds:.0%}")])


if __name__ == "__main__":
    main()
