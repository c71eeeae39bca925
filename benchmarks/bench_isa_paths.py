"""Every kernel that has SIMD variants, timed on each build of the module given
(for example one per TAVIK_ISA path, as tools/test_isa_paths.sh makes them):

    taskset -c 0 python benchmarks/bench_isa_paths.py avx512=DIR avx2=DIR portable=DIR

Each DIR holds a built `tavik` package (a venv's site-packages). The builds
are timed in turns, each in a fresh subprocess, so that load on a shared
machine falls on all of them alike; a kernel's time is its best over the
rounds. Ratios are against the first build, and the results of all builds
are checked to be identical bit for bit.
"""

import hashlib
import json
import os
import random
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def cases():
    import tavik.tavik_core as core

    rng = random.Random(1)
    n = 20
    dense = [((i, j), rng.uniform(-1, 1)) for i in range(n) for j in range(i, n)]
    fields = [(k, rng.uniform(-0.1, 0.1)) for k in range(n)]
    sim = core.sim
    names = [f"v{k}" for k in range(n)]
    graph = sim.LogicalGraph([sim.Variable(v, "spin") for v in names],
                             [sim.Interaction(names[p], names[q], rng.uniform(-1, 1))
                              for p in range(n) for q in range(p + 1, n)])
    solver = sim.IsingSimulator()
    edges = [(i, j, float(rng.randint(1, 1000))) for i in range(1000) for j in range(i + 1, 1000)]
    runs = ([((rng.randrange(200), rng.randrange(200)), rng.uniform(-1, 1)) for _ in range(2000)],
            [rng.randrange(2) for _ in range(200)], 1000, 0.1, 12345)
    circuit = [("h", [q], []) for q in range(n)] + [
        ("cx", rng.sample(range(n), 2), []) if rng.random() < 0.25
        else (rng.choice(["rx", "ry", "rz"]), [rng.randrange(n)], [rng.uniform(-3, 3)]) for _ in range(200)]
    patch = core.ecc.build_surface_code(5)
    cutting = core.cutting
    histograms = [(s, label, {format(k, "08b"): rng.randrange(1, 200) for k in rng.sample(range(256), 64)})
                  for s in range(2000) for label in "AB"]
    counts = [cutting.SubcircuitSampleCounts(s, label, h, sum(h.values())) for s, label, h in histograms]
    coefficients = [cutting.SampleCoefficient(s, rng.uniform(-1, 1)) for s in range(2000)]
    return [
        ("qubo_energy_spectrum n=20 dense (210 terms)", lambda: core.qubo_energy_spectrum(dense, n)),
        ("exact_ising_norm n=20 (20 fields, 210 couplings)", lambda: core.exact_ising_norm(fields, dense, n)),
        ("IsingSimulator.solve_exact n=20 (190 couplings)", lambda: solver.solve_exact(graph)),
        ("stoer_wagner_bisect n=1000 complete", lambda: core.stoer_wagner_bisect(edges, 1000)),
        ("simulate_qubo_runs 1000 runs x 200 vars x 2000 terms", lambda: core.simulate_qubo_runs(*runs)),
        ("run_statevector n=20, 220 gates", lambda: core.run_statevector(circuit, n)),
        ("logical_failure_probability d=5", lambda: core.logical_failure_probability(
            25, patch.z_stabilizers, patch.logical_z, 0.01)),
        ("build_ecc_lookup_table d=5", lambda: core.build_ecc_lookup_table(25, patch.z_stabilizers)),
        ("reconstruct_expectation 2000 x 2 x 64 entries", lambda: cutting.reconstruct_expectation(
            counts, coefficients, ["A", "B"])),
    ]


def child():
    """Times every case on the module found first on sys.path; prints JSON."""
    sys.path.insert(0, HERE)
    from common import best_time

    import tavik

    out = {"_package": os.path.dirname(os.path.abspath(tavik.__file__))}
    for name, call in cases():
        digest = hashlib.sha256(repr(call()).encode()).hexdigest()  # repr of a float is exact
        out[name] = (best_time(call, repeat=3, min_seconds=0.1), digest)
    print(json.dumps(out))


def main(argv):
    sys.path.insert(0, HERE)
    from common import fmt_time, print_table

    builds = [arg.split("=", 1) for arg in argv]
    if not builds or any(len(b) != 2 for b in builds):
        sys.exit(__doc__)
    rounds = 3
    best, digests = {}, {}
    for _ in range(rounds):
        for label, site in builds:
            env = dict(os.environ, PYTHONPATH=os.pathsep.join([os.path.abspath(site), os.environ.get("PYTHONPATH", "")]))
            # Run from outside the checkout, so that `tavik` is the build's package.
            result = subprocess.run([sys.executable, os.path.abspath(__file__), "--child"], env=env, cwd="/",
                                    check=True, capture_output=True, text=True)
            timings = json.loads(result.stdout)
            # An editable install's import hook comes before PYTHONPATH: every
            # "build" would then be that one.
            if not timings.pop("_package").startswith(os.path.abspath(site)):
                sys.exit(f"{label}: the tavik imported is not the build in {site} (an editable install of "
                         "tavik shadows PYTHONPATH: run this script with a Python that has none)")
            for name, (seconds, digest) in timings.items():
                best[label, name] = min(best.get((label, name), seconds), seconds)
                digests.setdefault(name, set()).add(digest)
    labels = [label for label, _ in builds]
    rows = []
    for name in digests:
        times = [best[label, name] for label in labels]
        rows.append([name] + [fmt_time(t) for t in times] + [f"{t / times[0]:.2f}" for t in times[1:]])
    print_table(f"SIMD paths: best of {rounds} rounds, builds timed in turns",
                ["kernel"] + labels + [f"{label}/{labels[0]}" for label in labels[1:]], rows)
    differing = [name for name, d in digests.items() if len(d) > 1]
    print("results identical across builds" if not differing else f"RESULTS DIFFER: {differing}")
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(child() if sys.argv[1:] == ["--child"] else main(sys.argv[1:]))
