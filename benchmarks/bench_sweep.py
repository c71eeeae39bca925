"""tavik.sweep: a grid of failure curves (repetition codes of distance 3 to
25 and surface codes of distance 3 and 5, 40 rates) on the serial engine, on
the default cluster of threads and on a local Dask cluster of 2
single-threaded worker processes, and the engine's overhead per task.

A serial sweep already uses every CPU: tavik.arrays splits a code's rates
across the pool. The serial figure on one CPU (affinity set before the
import, in a subprocess) shows what the cluster adds to a single-threaded
loop. Run as a script (the cluster's workers import it)."""

import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE]

import numpy as np  # noqa: E402

import tavik.tavik_core as core  # noqa: E402
from common import fmt_time, print_table  # noqa: E402
from tavik import sweep  # noqa: E402

P = np.geomspace(1e-3, 0.5, 40)


def codes():
    found = {f"repetition d={d}": (d, [[q, q + 1] for q in range(d - 1)], [0]) for d in range(3, 26, 2)}
    for d in (3, 5):
        patch = core.ecc.build_surface_code(d)
        found[f"surface d={d}"] = (d * d, patch.z_stabilizers, patch.logical_z)
    return found


def grid_seconds(client):
    start = time.perf_counter()
    curves = sweep.failure_curves(codes(), P, client=client, progress=False)
    return time.perf_counter() - start, curves


def serial_on_one_cpu():
    code = (f"import os, sys; os.sched_setaffinity(0, {{min(os.sched_getaffinity(0))}}); sys.path[:0] = [{HERE!r}]\n"
            "import bench_sweep as b\nprint(b.grid_seconds('serial')[0])\n")
    return float(subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout)


def main():
    import distributed

    serial, expected = grid_seconds("serial")
    one_cpu = serial_on_one_cpu()
    threaded, _ = grid_seconds(None)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        client.run(lambda: None)  # workers up
        clustered, curves = grid_seconds(client)
        assert all(curves[name].tobytes() == expected[name].tobytes() for name in expected), "cluster differs"
        n = 200
        start = time.perf_counter()
        sweep.map(abs, range(n), client=client, progress=False)
        per_task = (time.perf_counter() - start) / n
    rows = [
        ["serial engine (tavik.arrays on every CPU)", fmt_time(serial), "1.00"],
        ["serial engine, process pinned to 1 CPU", fmt_time(one_cpu), f"{one_cpu / serial:.2f}"],
        ["default engine: threads in this process (start included)", fmt_time(threaded), f"{threaded / serial:.2f}"],
        ["local cluster, 2 single-threaded workers", fmt_time(clustered), f"{clustered / serial:.2f}"],
        ["  cluster speedup over the 1-CPU serial loop", f"{one_cpu / clustered:.2f}x", ""],
        ["  cluster speedup over the serial engine", f"{serial / clustered:.2f}x", ""],
        ["engine overhead per task (map of abs, 200 tasks)", fmt_time(per_task), ""],
    ]
    print_table(f"threshold grid: {len(codes())} codes x {len(P)} rates (results identical)",
                ["engine", "time", "time / serial"], rows)


if __name__ == "__main__":
    main()
