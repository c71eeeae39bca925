"""run_statevector: time per gate on 200-gate random circuits at n = 20 and
22 against Qulacs and Qiskit Aer's statevector method (both on one thread),
a NumPy implementation with the same arithmetic (results checked identical)
and the machine's memory-bandwidth bound (one read and one write of the
16·2^n-byte state, measured here as the faster of an array copy and an
in-place negation). Whole-call times include the conversion of the 2^n
amplitudes to Python tuples. Last, the array face's whole call (a complex128
array, gates on every CPU) against the core's, on 1 and 2 CPUs
(`--arrays`: that table alone).

Per-gate times are differences: (time of a Hadamard layer + 400 gates − time
of the layer + 200 gates) / 200. The layer makes both final states dense, so
fixed costs (allocation, result conversion, peers' circuit set-up) cancel.
The whole process runs on one CPU, and times are CPU time (the minimum over
several calls), which other processes sharing the machine disturb less than
wall-clock time."""

import os
import random
import subprocess
import sys

os.environ["OMP_NUM_THREADS"] = "1"
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")
CPUS = sorted(os.sched_getaffinity(0))  # before pinning: the array face's rows use two
os.sched_setaffinity(0, {CPUS[0]})

import numpy as np  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE]

import tavik.tavik_core as core  # noqa: E402
from common import cpu_time, fmt_time, print_table  # noqa: E402

R = 0.7071067811865476
SINGLE = ["h", "x", "y", "z", "s", "t", "rx", "ry", "rz", "u"]
TWO = ["cx", "cz", "swap"]


def random_circuit(n, length, seed):
    rng = random.Random(seed)
    circuit = []
    for _ in range(length):
        if rng.random() < 0.25:
            q0, q1 = rng.sample(range(n), 2)
            circuit.append((rng.choice(TWO), [q0, q1], []))
        else:
            circuit.append((rng.choice(SINGLE), [rng.randrange(n)], [rng.uniform(-3, 3) for _ in range(3)]))
    return circuit


# ---- NumPy, same arithmetic: real and imaginary parts as separate arrays, every
# product and sum a separate ufunc call (each rounded, no fused multiply-add).

def matrix(name, p):
    if name == "h":
        return ((R, 0.0), (R, 0.0), (R, 0.0), (-R, 0.0))
    if name == "x":
        return ((0.0, 0.0), (1.0, 0.0), (1.0, 0.0), (0.0, 0.0))
    if name == "y":
        return ((0.0, 0.0), (0.0, -1.0), (0.0, 1.0), (0.0, 0.0))
    if name == "z":
        return ((1.0, 0.0), (0.0, 0.0), (0.0, 0.0), (-1.0, 0.0))
    if name == "s":
        return ((1.0, 0.0), (0.0, 0.0), (0.0, 0.0), (0.0, 1.0))
    if name == "t":
        return ((1.0, 0.0), (0.0, 0.0), (0.0, 0.0), (R, 0.7071067811865475))
    c, s = np.cos(p[0] * 0.5), np.sin(p[0] * 0.5)
    if name == "rx":
        return ((c, 0.0), (0.0, -s), (0.0, -s), (c, 0.0))
    if name == "ry":
        return ((c, 0.0), (-s, 0.0), (s, 0.0), (c, 0.0))
    if name == "rz":
        return ((c, -s), (0.0, 0.0), (0.0, 0.0), (c, s))

    def phase(x, f):
        return (np.cos(x) * f - np.sin(x) * 0.0, np.cos(x) * 0.0 + np.sin(x) * f)

    m01 = phase(p[2], s)
    return ((c, 0.0), (-m01[0], -m01[1]), phase(p[1], s), phase(p[1] + p[2], c))


def numpy_apply(re, im, name, qubits, params, n):
    if len(qubits) == 1:
        q = qubits[0]
        shape = (1 << (n - q - 1), 2, 1 << q)
        vr, vi = re.reshape(shape), im.reshape(shape)
        ar, ai, br, bi = vr[:, 0], vi[:, 0], vr[:, 1], vi[:, 1]
        (m00, m01, m10, m11) = matrix(name, params)

        def times(m, xr, xi):
            return m[0] * xr - m[1] * xi, m[0] * xi + m[1] * xr

        pa, pb, qa, qb = times(m00, ar, ai), times(m01, br, bi), times(m10, ar, ai), times(m11, br, bi)
        new = (pa[0] + pb[0], pa[1] + pb[1], qa[0] + qb[0], qa[1] + qb[1])
        ar[...], ai[...], br[...], bi[...] = new
        return
    q0, q1 = qubits
    for part in (re, im):
        t = part.reshape([2] * n)  # axis k is qubit n−1−k
        a0, a1 = n - 1 - q0, n - 1 - q1

        def at(b0, b1):
            index = [slice(None)] * n
            index[a0], index[a1] = b0, b1
            return tuple(index)

        if name == "cz":
            np.negative(t[at(1, 1)], out=t[at(1, 1)])
        elif name == "cx":
            t[at(1, 0)], t[at(1, 1)] = t[at(1, 1)].copy(), t[at(1, 0)].copy()
        else:
            t[at(1, 0)], t[at(0, 1)] = t[at(0, 1)].copy(), t[at(1, 0)].copy()


def numpy_run(circuit, n):
    re, im = np.zeros(1 << n), np.zeros(1 << n)
    re[0] = 1.0
    for name, qubits, params in circuit:
        numpy_apply(re, im, name, qubits, params, n)
    return re, im


# ---- peers

def qulacs_runner(circuit, n):
    from qulacs import QuantumCircuit, QuantumState
    from qulacs import gate as g

    qc = QuantumCircuit(n)
    for name, q, p in circuit:
        if name in ("h", "x", "y", "z", "s", "t"):
            qc.add_gate(getattr(g, name.upper() if name != "s" else "S")(q[0]))
        elif name in ("rx", "ry", "rz"):  # qulacs rotations use the opposite sign convention
            qc.add_gate(getattr(g, "RotX" if name == "rx" else "RotY" if name == "ry" else "RotZ")(q[0], p[0]))
        elif name == "u":
            qc.add_gate(g.U3(q[0], p[0], p[1], p[2]))
        elif name == "cx":
            qc.add_gate(g.CNOT(q[0], q[1]))
        elif name == "cz":
            qc.add_gate(g.CZ(q[0], q[1]))
        else:
            qc.add_gate(g.SWAP(q[0], q[1]))
    state = QuantumState(n)

    def run():
        state.set_zero_state()
        qc.update_quantum_state(state)
        return state

    return run


def aer_runner(circuit, n):
    from qiskit import QuantumCircuit
    from qiskit_aer import AerSimulator

    qc = QuantumCircuit(n)
    for name, q, p in circuit:
        if name in ("rx", "ry", "rz"):
            getattr(qc, name)(p[0], q[0])
        elif name == "u":
            qc.u(p[0], p[1], p[2], q[0])
        elif name in ("cx", "cz", "swap"):
            getattr(qc, name)(q[0], q[1])
        else:
            getattr(qc, name)(q[0])
    qc.save_statevector()
    sim = AerSimulator(method="statevector", max_parallel_threads=1)

    def run():
        return sim.run(qc, shots=1).result().get_statevector()

    return run


def bandwidth_bound(n):
    a = np.ones(1 << n, dtype=np.complex128)
    b = np.empty_like(a)

    def repeated(f):
        return lambda: [f() for _ in range(10)]

    t_copy = cpu_time(repeated(lambda: np.copyto(b, a))) / 10
    t_inplace = cpu_time(repeated(lambda: np.negative(a, out=a))) / 10
    return min(t_copy, t_inplace)


def check(n, circuit):
    state = core.run_statevector(circuit, n)
    re, im = numpy_run(circuit, n)
    bits = np.array(state).view(np.uint64)  # bit patterns: signed zeros count
    assert np.array_equal(bits, np.stack([re, im], axis=1).view(np.uint64)), "NumPy implementation differs"
    # The peers agree up to rounding and their rotation conventions; compare
    # magnitudes on the rotation-free gates.
    plain = [g for g in circuit if g[0] not in ("rx", "ry", "rz", "u")]
    mine = np.abs(np.array([complex(*a) for a in core.run_statevector(plain, n)]))
    assert np.allclose(np.abs(qulacs_runner(plain, n)().get_vector()), mine, atol=1e-9)
    assert np.allclose(np.abs(np.asarray(aer_runner(plain, n)())), mine, atol=1e-9)


def main():
    rows_gate, rows_call = [], []
    for n in (20, 22):
        layer = [("h", [q], []) for q in range(n)]
        gates = random_circuit(n, 200, n)
        c200, c400 = layer + gates, layer + gates * 2
        check(n, c200)

        def per_gate(make, repeat=5):
            f200, f400 = make(c200), make(c400)
            t200, t400 = cpu_time(f200, repeat), cpu_time(f400, repeat)
            return (t400 - t200) / 200, t200

        t_core, call_core = per_gate(lambda c: lambda: core.run_statevector(c, n))
        t_qulacs, call_qulacs = per_gate(lambda c: qulacs_runner(c, n))
        t_aer, call_aer = per_gate(lambda c: aer_runner(c, n))
        t_numpy, call_numpy = per_gate(lambda c: lambda: numpy_run(c, n), repeat=1)
        bound = bandwidth_bound(n)
        t_layer = cpu_time(lambda: core.run_statevector(layer, n))
        for label, t in [("tavik_core", t_core), ("Qulacs", t_qulacs), ("Qiskit Aer statevector", t_aer),
                         ("NumPy, same arithmetic", t_numpy), ("memory-bandwidth bound", bound)]:
            rows_gate.append([n, label, fmt_time(t), f"{t / t_core:.2f}", f"{t / bound:.2f}"])
        for label, t in [("tavik_core, list of tuples", call_core), ("Qulacs, state object", call_qulacs),
                         ("Qiskit Aer, ndarray", call_aer), ("NumPy, arrays", call_numpy),
                         ("tavik_core, Hadamard layer only", t_layer)]:
            rows_call.append([n, label, fmt_time(t), f"{t / call_core:.2f}"])
    print_table("run_statevector: CPU time per gate, 200 random gates, one CPU",
                ["n", "implementation", "per gate", "/ tavik_core", "/ bandwidth bound"], rows_gate)
    print_table("run_statevector: whole call, Hadamard layer + 200 random gates (dense result)",
                ["n", "implementation", "CPU time", "/ tavik_core"], rows_call)


# ---- the array face: whole calls, wall-clock, timed in subprocesses whose CPU
# affinity is set before the first call (the pool is sized then).

def whole_call_on_cpus(cpus, face, n, circuit):
    code = (
        f"import os, sys; os.sched_setaffinity(0, {set(cpus)!r}); sys.path[:0] = [{HERE!r}]\n"
        "from common import best_time\n"
        f"import tavik.{face} as face\n"
        f"circuit = {circuit!r}\n"
        f"print(best_time(lambda: face.run_statevector(circuit, {n}), repeat=7))\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    return float(out.stdout)


def arrays_rows():
    rows = []
    for n in (20, 22):
        circuit = [("h", [q], []) for q in range(n)] + random_circuit(n, 10, n)
        state = np.array(core.run_statevector(circuit, n)).view(np.uint64)
        import tavik.arrays as ta

        assert np.array_equal(ta.run_statevector(circuit, n).view(np.uint64).reshape(-1, 2), state)
        t_core = whole_call_on_cpus(CPUS[:1], "tavik_core", n, circuit)
        one = whole_call_on_cpus(CPUS[:1], "arrays", n, circuit)
        rows.append([n, "tavik_core, list of tuples, 1 CPU", fmt_time(t_core), "1.00"])
        rows.append([n, "tavik.arrays, complex128, 1 CPU", fmt_time(one), f"{t_core / one:.2f}"])
        if len(CPUS) >= 2:
            two = whole_call_on_cpus(CPUS[:2], "arrays", n, circuit)
            rows.append([n, "tavik.arrays, complex128, 2 CPUs", fmt_time(two), f"{t_core / two:.2f}"])
            rows.append([n, "  tavik.arrays: 2 CPUs over 1", f"{one / two:.2f}x", ""])
    print_table("run_statevector, array face: whole call, Hadamard layer + 10 random gates (dense result), "
                "wall-clock", ["n", "implementation", "time", "tavik_core / this"], rows)


if __name__ == "__main__":
    if sys.argv[1:] == ["--arrays"]:
        arrays_rows()
    else:
        main()
        arrays_rows()
