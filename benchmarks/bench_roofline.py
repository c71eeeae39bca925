"""Each kernel against this machine's own limits, on one CPU.

The limits: the clock and the peak rate of independent double-precision adds
(a tiny C probe compiled here with the system's C compiler, for the widest
vectors the CPU runs), and memory bandwidth (NumPy: an array copy and an
in-place update of arrays far larger than the caches). Every kernel then
gets its time per unit of work, in nanoseconds and in cycles, and the
fraction of its limit it reaches: one add per unit for the exhaustive
kernels, the failure probability and the noisy-run energies, one cycle per
amplitude and gate for the statevector at 8 adds per cycle (a single-qubit
gate multiplies each amplitude 8 times, adds 6 times, with no fused
multiply-add: 8 multiplies at the add rate, the multiplier as fast as the
adder), one 8-byte write per matrix entry for the routing QUBO, one streamed
read of each histogram entry (its count and its key) for the
reconstruction's parity scan.

    python benchmarks/bench_roofline.py
    python benchmarks/bench_roofline.py --statevector   # its rows alone
"""

import os
import random
import subprocess
import sys
import tempfile
import time

os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")
os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})  # before the pool starts: one worker

import numpy as np  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE]

import tavik.arrays as ta  # noqa: E402
import tavik.tavik_core as core  # noqa: E402
from bench_reconstruct import N_BITS, scan_time_per_entry  # noqa: E402
from bench_noisy_runs import instance as noisy_instance  # noqa: E402
from bench_statevector import random_circuit  # noqa: E402
from common import cpu_time, print_table  # noqa: E402

# Cycles: a chain of dependent integer adds runs at one per cycle on every
# x86-64 core. Adds: 12 independent accumulators of the widest vector (more
# than latency × ports on current cores, and with the addend no more than the
# 16 registers AVX2 has), so only throughput limits them.
PROBE = r"""
#include <stdio.h>
#include <time.h>
typedef double v __attribute__((vector_size(VBYTES)));
static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + 1e-9 * t.tv_nsec;
}
#define ADD4(a, b, c, e) a += d; b += d; c += d; e += d;
#define KEEP4(a, b, c, e) __asm__ volatile("" : "+x"(a), "+x"(b), "+x"(c), "+x"(e));
int main(void) {
  double best_hz = 0, best_adds = 0;
  for (int r = 0; r < 5; ++r) {
    const long chain = 200000000;
    long x = 0;
    double t0 = now();
    for (long i = 0; i < chain; ++i) __asm__ volatile("add $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\tadd $1, %0" : "+r"(x));
    double hz = 4 * chain / (now() - t0);
    if (hz > best_hz) best_hz = hz;
    v a0 = {}, a1 = a0, a2 = a0, a3 = a0, a4 = a0, a5 = a0, a6 = a0, a7 = a0;
    v a8 = a0, a9 = a0, a10 = a0, a11 = a0, d = a0 + 1e-300;
    const long rounds = 20000000;
    t0 = now();
    for (long i = 0; i < rounds; ++i) {
      ADD4(a0, a1, a2, a3) ADD4(a4, a5, a6, a7) ADD4(a8, a9, a10, a11)
      KEEP4(a0, a1, a2, a3) KEEP4(a4, a5, a6, a7) KEEP4(a8, a9, a10, a11)
    }
    double adds = rounds * 12.0 * (VBYTES / 8) / (now() - t0);
    if (adds > best_adds) best_adds = adds;
  }
  printf("%g %g\n", best_hz, best_adds);
  return 0;
}
"""


def probe():
    """(clock in Hz, double adds per second) of this CPU."""
    flags = open("/proc/cpuinfo").read()
    vbytes, arch = (64, "-mavx512f") if " avx512f" in flags else (32, "-mavx2") if " avx2" in flags else (16, "")
    with tempfile.TemporaryDirectory() as tmp:
        src, exe = os.path.join(tmp, "probe.c"), os.path.join(tmp, "probe")
        with open(src, "w") as f:
            f.write(PROBE)
        subprocess.run(["cc", "-O2", *([arch] if arch else []), f"-DVBYTES={vbytes}", src, "-o", exe], check=True)
        hz, adds = map(float, subprocess.run([exe], capture_output=True, text=True, check=True).stdout.split())
    return hz, adds


def bandwidth():
    """(copy, in-place) bytes moved per second over 256 MiB arrays."""
    a = np.ones(1 << 25)
    b = np.empty_like(a)
    t_copy = cpu_time(lambda: np.copyto(b, a))
    t_inplace = cpu_time(lambda: np.negative(a, out=a))
    return 2 * a.nbytes / t_copy, 2 * a.nbytes / t_inplace


def statevector_rows(adds, repeat=5):
    """The gate phase alone, per amplitude and gate: the difference of two
    circuits, so the zero-filled start, the allocation and the result's array
    cancel. A Hadamard layer makes the state dense first. A quarter of the
    gates are two-qubit permutations, cheaper than the floor counts them."""
    rows = []
    for q in (20, 22, 24):
        layer = [("h", [k], []) for k in range(q)]
        gates = random_circuit(q, 100, q)
        t100 = cpu_time(lambda: ta.run_statevector(layer + gates, q), repeat=repeat)
        t200 = cpu_time(lambda: ta.run_statevector(layer + gates * 2, q), repeat=repeat)
        rows.append((f"run_statevector, {q} qubits", "amplitude x gate", 2**q * 100, t200 - t100, 8 / adds))
    return rows


def kernels(copy_bw, adds):
    """(kernel, unit, units per call, seconds per call, seconds per unit at the limit)."""
    rng = random.Random(1)
    n = 20
    qubo = [((i, j), rng.uniform(-1, 1)) for i in range(n) for j in range(i, n)]
    dh = [(k, rng.uniform(-0.1, 0.1)) for k in range(n)]
    per_add = 1 / adds
    rows = [
        ("qubo_energy_spectrum, n=20 dense", "assignment x term", 2**n * len(qubo),
         cpu_time(lambda: ta.qubo_energy_spectrum(qubo, n)), per_add),
        ("exact_ising_norm, n=20 dense + fields", "assignment x term", 2**n * (len(qubo) + n),
         cpu_time(lambda: ta.exact_ising_norm(dh, qubo, n)), per_add),
    ]

    rows += statevector_rows(adds)

    patch = core.ecc.build_surface_code(5)
    args = (25, patch.z_stabilizers, patch.logical_z, 0.01)
    rows.append(("logical_failure_probability, d=5", "error pattern", 2**25,
                 cpu_time(lambda: ta.logical_failure_probability(*args), repeat=3), per_add))

    qubo, base, runs, noise, seed = noisy_instance()
    coo = tuple(np.array(c) for c in zip(*[(i, j, w) for (i, j), w in qubo]))
    base = np.array(base, dtype=np.uint8)
    # The energies alone: the call less the same call without terms (the draws).
    no_terms = tuple(c[:0] for c in coo)
    energies = (cpu_time(lambda: ta.simulate_qubo_runs(coo, base, runs, noise, seed), repeat=40)
                - cpu_time(lambda: ta.simulate_qubo_runs(no_terms, base, runs, noise, seed), repeat=40))
    rows.append((f"simulate_qubo_runs energies, {runs} runs x {len(qubo)} terms", "run x term", runs * len(qubo),
                 energies, per_add))

    # Each entry streams its count (8 bytes) and its key (a byte per bit).
    rows.append(("reconstruct_expectation parity scan, 100k coefficients", "histogram entry", 1,
                 scan_time_per_entry(), (8 + N_BITS) / copy_bw))

    cities = 12
    dist = np.array([[rng.uniform(1, 10) for _ in range(cities)] for _ in range(cities)])
    rows.append((f"vrp_qubo_matrix, {cities} cities", "matrix entry", cities**4,
                 cpu_time(lambda: ta.vrp_qubo_matrix(dist, 5.0, 5.0), repeat=20), 8 / copy_bw))
    return rows


def print_kernels(hz, rows):
    out = []
    for name, unit, units, seconds, limit in rows:
        per = seconds / units
        out.append([name, unit, f"{per * 1e9:.3g} ns", f"{per * hz:.3g}", f"{limit * hz:.3g}", f"{limit / per:.0%}"])
    print_table("Kernels through tavik.arrays on one CPU (CPU time, best of several calls)",
                ["kernel", "unit", "time per unit", "cycles", "limit (cycles)", "of limit"], out)


def main():
    hz, adds = probe()
    if sys.argv[1:] == ["--statevector"]:
        print(f"clock {hz / 1e9:.2f} GHz, {adds / hz:.1f} adds per cycle")
        print_kernels(hz, statevector_rows(adds))
        return
    copy_bw, inplace_bw = bandwidth()
    print_table("This CPU's limits (one core)", ["limit", "value"], [
        ["clock", f"{hz / 1e9:.2f} GHz"],
        ["double adds", f"{adds / 1e9:.1f} G/s ({adds / hz:.1f} per cycle)"],
        ["memory, copy", f"{copy_bw / 1e9:.1f} GB/s"],
        ["memory, in place", f"{inplace_bw / 1e9:.1f} GB/s"],
    ])
    print_kernels(hz, kernels(copy_bw, adds))


if __name__ == "__main__":
    start = time.perf_counter()
    main()
    print(f"\n({time.perf_counter() - start:.0f} s)")
