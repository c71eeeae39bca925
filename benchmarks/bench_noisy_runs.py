"""simulate_qubo_runs: 1,000 runs × 200 variables × 2,000 terms against the
pure-Python reference and a NumPy implementation with the same arithmetic,
and the speedup of the module on 2 CPUs over 1 CPU (timed in subprocesses
whose CPU affinity is set before the first call)."""

import os
import random
import subprocess
import sys

os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")  # idle BLAS threads only add noise

import numpy as np  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "tests")]

import tavik.arrays as ta  # noqa: E402
import tavik.tavik_core as core  # noqa: E402
from common import best_time, fmt_time, print_table  # noqa: E402
from reference import noisy_runs as reference  # noqa: E402

RUNS, N_VARS, N_TERMS = 1000, 200, 2000
GAMMA = np.uint64(0x9E3779B97F4A7C15)


def instance(seed=1, n_terms=N_TERMS):
    rng = random.Random(seed)
    qubo = [((rng.randrange(N_VARS), rng.randrange(N_VARS)), rng.uniform(-1, 1)) for _ in range(n_terms)]
    base = [rng.randrange(2) for _ in range(N_VARS)]
    return qubo, base, RUNS, 0.1, 12345


def numpy_runs(qubo, base_bits, n_runs, noise_level, seed, as_lists=True):
    """Same stream and sums, vectorised across draws (uint64 arithmetic wraps)
    and across runs (each run's energy still adds the terms in order)."""
    n = len(base_bits)
    with np.errstate(over="ignore"):
        states = np.uint64(seed) + np.arange(1, n_runs * n + 1, dtype=np.uint64) * GAMMA
        z = (states ^ (states >> np.uint64(30))) * np.uint64(0xBF58476D1CE4E5B9)
        z = (z ^ (z >> np.uint64(27))) * np.uint64(0x94D049BB133111EB)
        z ^= z >> np.uint64(31)
    u = (z >> np.uint64(11)).astype(np.float64) * 2.0**-53
    base = np.array(base_bits, dtype=np.uint8)
    flips = (u < noise_level).reshape(n_runs, n)
    runs = np.where(flips, (1 - base).astype(np.uint8), base)
    columns = np.ascontiguousarray(runs.T, dtype=np.float64)  # variable-major
    energies = np.full(n_runs, -0.0)
    scratch = np.empty(n_runs)
    for (i, j), w in qubo:
        np.multiply(columns[i], w, out=scratch)
        np.multiply(scratch, columns[j], out=scratch)
        np.add(energies, scratch, out=energies)
    return (runs.tolist(), energies.tolist()) if as_lists else (runs, energies)


def timed_in_subprocess(cpus, n_terms):
    code = (
        f"import os, sys; os.sched_setaffinity(0, {set(cpus)!r}); sys.path[:0] = [{HERE!r}]\n"
        "import bench_noisy_runs as b\n"
        f"args = b.instance(n_terms={n_terms})\n"
        "print(b.best_time(lambda: b.core.simulate_qubo_runs(*args), repeat=15))\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    return float(out.stdout)


def main():
    args = instance()
    def exact(result):  # energies by bit pattern: signed zeros count
        return result[0], [e.hex() for e in result[1]]

    result = exact(core.simulate_qubo_runs(*args))
    assert exact(numpy_runs(*args)) == result, "NumPy implementation differs"
    assert exact(reference.simulate_qubo_runs(*args)) == result, "reference differs"

    # The array face given arrays, against NumPy given the same arrays.
    qubo, base_bits = args[0], args[1]
    coo = (np.array([i for (i, _), _ in qubo]), np.array([j for (_, j), _ in qubo]), np.array([w for _, w in qubo]))
    array_args = (coo, np.array(base_bits, dtype=np.uint8), *args[2:])
    runs, energies = ta.simulate_qubo_runs(*array_args)
    assert (runs.tolist(), [e.hex() for e in energies.tolist()]) == result, "tavik.arrays differs"
    t_arrays = best_time(lambda: ta.simulate_qubo_runs(*array_args), repeat=15)

    t_core = best_time(lambda: core.simulate_qubo_runs(*args), repeat=15)
    t_numpy = best_time(lambda: numpy_runs(*args))
    t_numpy_arrays = best_time(lambda: numpy_runs(*args, as_lists=False))
    t_ref = best_time(lambda: reference.simulate_qubo_runs(*args), repeat=1, min_seconds=0)
    base = args[1]
    t_lists = best_time(lambda: [list(base) for _ in range(RUNS)], repeat=15)
    t_no_terms = best_time(lambda: core.simulate_qubo_runs([], *args[1:]), repeat=15)
    rows = [
        ["tavik_core (all CPUs)", fmt_time(t_core), "1.0"],
        ["NumPy, same arithmetic, same lists", fmt_time(t_numpy), f"{t_numpy / t_core:.1f}"],
        ["NumPy, same arithmetic, arrays only", fmt_time(t_numpy_arrays), f"{t_numpy_arrays / t_core:.1f}"],
        ["pure-Python reference", fmt_time(t_ref), f"{t_ref / t_core:.0f}"],
        ["tavik.arrays, COO arrays in, arrays out", fmt_time(t_arrays), f"{t_arrays / t_core:.2f}"],
        ["  NumPy (arrays only) / tavik.arrays", f"{t_numpy_arrays / t_arrays:.1f}x", ""],
        ["floor: [list(base_bits) for each run]", fmt_time(t_lists), f"{t_lists / t_core:.2f}"],
        ["tavik_core without terms (draws + lists)", fmt_time(t_no_terms), f"{t_no_terms / t_core:.2f}"],
    ]
    cpus = sorted(os.sched_getaffinity(0))
    for n_terms in (N_TERMS, 10 * N_TERMS):
        one = timed_in_subprocess(cpus[:1], n_terms)
        rows.append([f"tavik_core, {n_terms} terms, 1 CPU", fmt_time(one), f"{one / t_core:.2f}"])
        if len(cpus) >= 2:
            two = timed_in_subprocess(cpus[:2], n_terms)
            rows.append([f"tavik_core, {n_terms} terms, 2 CPUs", fmt_time(two), f"{two / t_core:.2f}"])
            rows.append([f"  speedup 2 CPUs over 1 ({n_terms} terms)", f"{one / two:.2f}x", ""])
    print_table(f"simulate_qubo_runs: {RUNS} runs x {N_VARS} variables x {N_TERMS} terms (results identical), "
                "wall-clock", ["implementation", "time per call", "time / tavik_core"], rows)


if __name__ == "__main__":
    main()
