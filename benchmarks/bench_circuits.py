"""tavik.circuits against Qulacs (when installed: `pip install qulacs`), on one CPU and on all.

- Random layered circuits (h on every qubit, then layers of rx, rz, t, cx on neighbour pairs and
  cz on neighbour pairs) at 20, 24 and 26 qubits (`--sizes` for others, 28 included): the whole
  call, allocation and zero-filling of the state included, for tavik.circuits.simulate, Qulacs
  gate by gate and Qulacs after its light fusion (QuantumCircuitOptimizer().optimize_light; the
  fusion itself not timed). The states are checked to agree within 1e-12 at the smallest size.
- The fused-layer case: 24 qubits, six layers of rx on every qubit, cx on neighbour pairs
  (alternately even and odd) and t on every qubit.
- For each circuit, its time in in-place passes over the state (NumPy negating it: one read and one
  write) and its speed against the memory floor of applying gates one pass each (gates × that
  pass; above 1x where runs of gates share a pass over memory, tile by tile).
- Expectation of a 1,000-term Pauli sum at 24 qubits, against Qulacs' Observable: terms of random
  I/X/Y/Z letters (each its own X/Y mask: a pass over the state each) and 1,000 terms sharing
  20 X/Y masks (a pass per mask); times also in "passes", the time of one NumPy read of the state.

Each configuration runs in a child process, so that its CPUs (os.sched_setaffinity for tavik's
pool, OMP_NUM_THREADS for Qulacs) are set before either starts threads. Wall-clock times, the
best of three; the machine may be shared, so ratios from one run are what to compare.
"""

import argparse
import json
import os
import random
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def layered(n, layers, seed):
    rng = random.Random(seed)
    circuit = [("h", [q], []) for q in range(n)]
    for k in range(layers):
        kind = ("rx", "rz", "t", "cx", "cz")[k % 5]
        if kind in ("cx", "cz"):
            circuit += [(kind, [q, q + 1], []) for q in range(k % 2, n - 1, 2)]
        else:
            circuit += [(kind, [q], [rng.uniform(-3, 3)] if kind != "t" else []) for q in range(n)]
    return circuit


def fused_layers(n=24, layers=6, seed=3):
    rng = random.Random(seed)
    circuit = []
    for k in range(layers):
        circuit += [("rx", [q], [rng.uniform(-3, 3)]) for q in range(n)]
        circuit += [("cx", [q, q + 1], []) for q in range(k % 2, n - 1, 2)]
        circuit += [("t", [q], []) for q in range(n)]
    return circuit


def random_paulis(n, terms, masks, seed):
    rng = random.Random(seed)
    if masks is None:
        return [("".join(rng.choice("IXYZ") for _ in range(n)), rng.uniform(-1, 1)) for _ in range(terms)]
    shapes = ["".join(rng.choice("IX") for _ in range(n)) for _ in range(masks)]
    out = []
    for k in range(terms):  # X/Y where the shape has X, I/Z elsewhere
        shape = shapes[k % masks]
        out.append(("".join(rng.choice("XY") if c == "X" else rng.choice("IZ") for c in shape), rng.uniform(-1, 1)))
    return out


def best(fn, repeat=3):
    if repeat > 1:
        fn()  # warm up
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times)


def qulacs_circuit(qulacs, circuit, n):
    qc = qulacs.QuantumCircuit(n)
    for g, qs, ps in circuit:
        if g in ("rx", "rz"):
            getattr(qc, f"add_Rot{g[1].upper()}_gate")(qs[0], ps[0])  # exp(-iθP/2), as tavik's
        elif g in ("cx", "cz"):
            getattr(qc, "add_CNOT_gate" if g == "cx" else "add_CZ_gate")(*qs)
        else:
            getattr(qc, f"add_{g.upper()}_gate")(qs[0])
    return qc


def child(sizes, include_peer, threads):
    import numpy as np

    from tavik import circuits

    try:
        import qulacs
        from qulacs.circuit import QuantumCircuitOptimizer
    except ImportError:
        qulacs = None
    qulacs = qulacs if include_peer else None
    out = {}
    cases = [(f"layered {n}", layered(n, 10, n), n) for n in sizes] + [("fused layers 24", fused_layers(), 24)]
    for name, circuit, n in cases:
        flat = np.ones(2 * 2**n)
        # The memory floor of a gate applied pass by pass: one read and one write of the state.
        in_place = best(lambda: np.negative(flat, out=flat))
        del flat
        row = {"gates": len(circuit), "tavik": best(lambda: circuits.simulate(circuit, n)), "in place": in_place,
               "fused": best(lambda: circuits.simulate(circuit, n, fuse=True))}
        if qulacs is not None:
            plain = qulacs_circuit(qulacs, circuit, n)
            fused = plain.copy()
            QuantumCircuitOptimizer().optimize_light(fused)

            def run(qc):
                state = qulacs.QuantumState(n)
                qc.update_quantum_state(state)
                return state

            row["qulacs"] = best(lambda: run(plain))
            row["qulacs light"] = best(lambda: run(fused))
            if n == min(sizes):
                gap = np.abs(run(fused).get_vector() - circuits.simulate(circuit, n)).max()
                assert gap < 1e-12, f"{name}: Qulacs and tavik differ by {gap}"
        out[name] = row
    n = 24
    state = circuits.simulate(layered(n, 10, 7), n)
    flat = state.view(np.float64)
    one_pass = best(lambda: np.add.reduce(flat))
    for name, terms in (("random", random_paulis(n, 1000, None, 1)), ("20 masks", random_paulis(n, 1000, 20, 2))):
        row = {"tavik": best(lambda: circuits.expectation(state, terms), repeat=1), "pass": one_pass}
        if qulacs is not None:
            observable = qulacs.Observable(n)
            for label, c in terms:
                text = " ".join(f"{p} {q}" for q, p in enumerate(label) if p != "I")
                observable.add_operator(c, text)
            qs = qulacs.QuantumState(n)
            qs.load(state)
            row["qulacs"] = best(lambda: observable.get_expectation_value(qs), repeat=1)
            value = circuits.expectation(state, terms) if threads == 1 else None
            assert value is None or abs(observable.get_expectation_value(qs) - value) < 1e-9 * max(1.0, abs(value))
        out[f"expectation {name}"] = row
    print(json.dumps(out))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[20, 24, 26])
    parser.add_argument("--child", type=int, default=0, help=argparse.SUPPRESS)
    parser.add_argument("--no-peer", action="store_true", help="tavik alone")
    args = parser.parse_args()
    if args.child:
        os.sched_setaffinity(0, set(sorted(os.sched_getaffinity(0))[: args.child]))
        return child(args.sizes, not args.no_peer, args.child)
    cpus = len(os.sched_getaffinity(0))
    results = {}
    for threads in sorted({1, cpus}):
        env = os.environ | {"OMP_NUM_THREADS": str(threads)}
        command = [sys.executable, __file__, "--child", str(threads), "--sizes", *map(str, args.sizes)]
        done = subprocess.run(command + (["--no-peer"] if args.no_peer else []), env=env, capture_output=True,
                              text=True, check=True)
        results[threads] = json.loads(done.stdout)
    print(f"{'case':<26}{'threads':>8}{'gates':>7}{'tavik':>10}{'fused':>10}{'qulacs':>10}{'light':>10}"
          f"{'vs qulacs':>11}{'vs light':>10}{'fused vs light':>16}")
    for name in results[1]:
        if name.startswith("expectation"):
            continue
        for threads, rows in results.items():
            r = rows[name]
            q, light = r.get("qulacs"), r.get("qulacs light")
            print(f"{name:<26}{threads:>8}{r['gates']:>7}{r['tavik']:>9.3f}s{r['fused']:>9.3f}s"
                  + (f"{q:>9.3f}s{light:>9.3f}s{q / r['tavik']:>10.2f}x{light / r['tavik']:>9.2f}x"
                     f"{light / r['fused']:>15.2f}x" if q else "")
                  + f"   {r['tavik'] / r['in place']:.1f} passes, floor {r['gates'] * r['in place'] / r['tavik']:.1f}x")
    if cpus > 1:
        for name in results[1]:
            if not name.startswith("expectation"):
                one, all_ = results[1][name], results[cpus][name]
                print(f"{name}: tavik 1 -> {cpus} threads {one['tavik'] / all_['tavik']:.2f}x,"
                      f" fused {one['fused'] / all_['fused']:.2f}x")
    print(f"\n{'expectation, 24 qubits':<26}{'threads':>8}{'tavik':>10}{'passes':>8}{'qulacs':>10}{'vs qulacs':>11}")
    for name in results[1]:
        if name.startswith("expectation"):
            for threads, rows in results.items():
                r = rows[name]
                q = r.get("qulacs")
                print(f"{name[12:]:<26}{threads:>8}{r['tavik']:>9.3f}s{r['tavik'] / r['pass']:>8.1f}"
                      + (f"{q:>9.3f}s{q / r['tavik']:>10.2f}x" if q else ""))


if __name__ == "__main__":
    main()
