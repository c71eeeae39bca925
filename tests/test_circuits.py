"""tavik.circuits against the core (its gates, bit for bit) and against dense NumPy models."""

import math
import random
import types

import numpy as np
import pytest

import tavik.arrays as ta
import tavik.tavik_core as core
from tavik import circuits
from support import run_child

CORE = {"h": 0, "x": 0, "y": 0, "z": 0, "s": 0, "t": 0, "rx": 1, "ry": 1, "rz": 1, "u": 3, "cx": 0, "cz": 0, "swap": 0}


def random_circuit(n, gates, length, seed):
    rng = random.Random(seed)
    out = []
    for _ in range(length):
        g = rng.choice(sorted(gates))
        arity, params = circuits.GATES[g]
        out.append((g, rng.sample(range(n), arity), [rng.uniform(-7, 7) for _ in range(params)]))
    return out


def as_qasm(circuit, n):
    lines = ["OPENQASM 2.0;", 'include "qelib1.inc";', f"qreg q[{n}];"]
    for g, qs, ps in circuit:
        args = f"({', '.join(repr(p) for p in ps)})" if ps else ""
        lines.append(f"{g}{args} " + ", ".join(f"q[{q}]" for q in qs) + ";")
    return "\n".join(lines)


def as_qiskit(circuit, n, global_phase=0.0):
    bits = [object() for _ in range(n)]
    data = [types.SimpleNamespace(operation=types.SimpleNamespace(name=g, params=ps), qubits=[bits[q] for q in qs])
            for g, qs, ps in circuit]
    return types.SimpleNamespace(data=data, qubits=bits, num_qubits=n, global_phase=global_phase)


@pytest.mark.parametrize("form", ["tuples", "qasm", "qiskit"])
@pytest.mark.parametrize("n", [1, 5, 13])  # 13: gates on qubits above the in-cache runs
def test_the_cores_gates_give_the_cores_bits(form, n):
    gates = CORE if n > 1 else {g for g in CORE if circuits.GATES[g][0] == 1}
    circuit = random_circuit(n, gates, 300, seed=n)
    given = {"tuples": circuit, "qasm": as_qasm(circuit, n), "qiskit": as_qiskit(circuit, n)}[form]
    state = circuits.simulate(given)
    assert state.tobytes() == ta.run_statevector(circuit, n).tobytes()
    if n <= 5:
        assert [(a.real, a.imag) for a in state] == core.run_statevector(circuit, n)


R = 1 / math.sqrt(2)


def u3(t, p, lam):
    c, s = math.cos(t / 2), math.sin(t / 2)
    return np.array([[c, -np.exp(1j * lam) * s], [np.exp(1j * p) * s, np.exp(1j * (p + lam)) * c]])


def rot(axis, t):
    pauli = {"x": [[0, 1], [1, 0]], "y": [[0, -1j], [1j, 0]], "z": [[1, 0], [0, -1]]}[axis]
    return math.cos(t / 2) * np.eye(2) - 1j * math.sin(t / 2) * np.array(pauli)


MATRICES = {  # the textbook matrix of each gate's target, by its base gate
    "id": lambda: np.eye(2), "x": lambda: np.array([[0, 1], [1, 0]]), "y": lambda: np.array([[0, -1j], [1j, 0]]),
    "z": lambda: np.diag([1, -1]), "h": lambda: np.array([[R, R], [R, -R]]), "s": lambda: np.diag([1, 1j]),
    "sdg": lambda: np.diag([1, -1j]), "t": lambda: np.diag([1, np.exp(1j * math.pi / 4)]),
    "tdg": lambda: np.diag([1, np.exp(-1j * math.pi / 4)]),
    "sx": lambda: np.array([[1 + 1j, 1 - 1j], [1 - 1j, 1 + 1j]]) / 2,
    "sxdg": lambda: np.array([[1 - 1j, 1 + 1j], [1 + 1j, 1 - 1j]]) / 2,
    "rx": lambda t: rot("x", t), "ry": lambda t: rot("y", t), "rz": lambda t: rot("z", t),
    "p": lambda lam: np.diag([1, np.exp(1j * lam)]), "u1": lambda lam: np.diag([1, np.exp(1j * lam)]),
    "u2": lambda p, lam: u3(math.pi / 2, p, lam), "u3": u3, "u": u3,
}
CONTROLLED = {"cx": "x", "cy": "y", "cz": "z", "ch": "h", "crx": "rx", "cry": "ry", "crz": "rz", "cp": "p",
              "cu1": "u1", "cu3": "u3", "ccx": "x", "ccz": "z"}


def reference(circuit, n):
    """The state by dense NumPy updates: controls all set, the target's pair mixed by the matrix."""
    psi = np.zeros(2**n, dtype=complex)
    psi[0] = 1
    index = np.arange(2**n)
    for g, qs, ps in circuit:
        if g in ("swap", "cswap"):  # three NOTs, each on one of the pair, controlled by the other and the controls
            *c, a, b = qs
            steps = [([*c, a, b], MATRICES["x"]()), ([*c, b, a], MATRICES["x"]()), ([*c, a, b], MATRICES["x"]())]
        else:
            steps = [(qs, MATRICES[CONTROLLED.get(g, g)](*ps))]
        for (*controls, target), m in steps:
            sel = (index >> target) & 1 == 0
            for c in controls:
                sel &= (index >> c) & 1 == 1
            lo = index[sel]
            hi = lo | (1 << target)
            psi[lo], psi[hi] = m[0, 0] * psi[lo] + m[0, 1] * psi[hi], m[1, 0] * psi[lo] + m[1, 1] * psi[hi]
    return psi


@pytest.mark.parametrize("n", [3, 13])
def test_every_gate_against_a_dense_model(n):
    circuit = random_circuit(n, circuits.GATES, 400, seed=100 + n)
    assert set(circuits.GATES) <= {g for g, _, _ in circuit}
    np.testing.assert_allclose(circuits.simulate(circuit), reference(circuit, n), rtol=0, atol=1e-12)
    # Fused, runs of single-qubit gates become one matrix: between two of them, gates on other qubits only.
    runs = [(g, qs, ps) for k in range(0, 3 * n, 3) for g, qs, ps in random_circuit(n, CORE, 30, k) if len(qs) == 1]
    runs += [("cx", [0, 1], [])] + runs + [("ccx", [2, 0, 1], [])] + circuit
    np.testing.assert_allclose(circuits.simulate(runs, fuse=True), reference(runs, n), rtol=0, atol=1e-12)
    phased = circuits.simulate(as_qiskit(circuit, n, global_phase=0.25))
    np.testing.assert_allclose(phased, np.exp(0.25j) * reference(circuit, n), rtol=0, atol=1e-12)


QASM_GOOD = [  # program, the same circuit as tuples, its width
    ("qreg q[2];\nh q[0];\nCX q[0], q[1];", [("h", [0], []), ("cx", [0, 1], [])], 2),
    ("OPENQASM 2.0; include \"qelib1.inc\"; qreg a[1]; qreg b[2]; creg c[3];\nh b; x a[0];\nbarrier a, b;",
     [("h", [1], []), ("h", [2], []), ("x", [0], [])], 3),
    ("qreg q[2]; qreg r[2]; cx q, r; cz q[1], r;", [("cx", [0, 2], []), ("cx", [1, 3], []), ("cz", [1, 2], []),
                                                     ("cz", [1, 3], [])], 4),
    ("qreg q[1]; // a comment\nU(pi/2, -pi/4, 2*pi) q[0]; /* and\n another */ rx(sin(pi/2)^2 + ln(exp(1))) q;",
     [("u", [0], [math.pi / 2, -math.pi / 4, 2 * math.pi]), ("rx", [0], [2.0])], 1),
    ("qreg q[3];\ngate pair(t) a, b { ry(t / 2) a; cx a, b; barrier a; }\ngate outer c, d, e { pair(pi) c, e; ccx c, d, e; }\n"
     "outer q[2], q[0], q[1];", [("ry", [2], [math.pi / 2]), ("cx", [2, 1], []), ("ccx", [2, 0, 1], [])], 3),
]


@pytest.mark.parametrize("program, circuit, n", QASM_GOOD)
def test_qasm_programs_read_as_their_circuits(program, circuit, n):
    assert circuits.simulate(program).tobytes() == circuits.simulate(circuit, n).tobytes()


QASM_BAD = [
    ("qreg q[1];\nh q[0];\nmeasure q[0] -> c[0];", "line 3: measure (measurement) is not simulated"),
    ("qreg q[1];\nreset q[0];", "line 2: reset (reset) is not simulated"),
    ("qreg q[1]; creg c[1];\n\nif (c == 1) x q[0];", "line 3: if (classical control) is not simulated"),
    ("opaque magic q;", "line 1: opaque (an opaque gate) is not simulated"),
    ("qreg q[1];\nfoo q[0];", "line 2: unknown gate 'foo'"),
    ("qreg q[2];\ncx q[0];", "line 2: cx takes 0 parameter(s) and 2 qubit(s), got 0 and 1"),
    ("qreg q[1];\nrx q[0];", "line 2: rx takes 1 parameter(s) and 1 qubit(s), got 0 and 1"),
    ("qreg q[2];\ncx q[1], q[1];", "line 2: cx names a qubit twice"),
    ("qreg q[2];\nh q[2];", "line 2: q[2] is beyond the register's 2 qubits"),
    ("qreg q[2];\nh r[0];", "line 2: unknown quantum register 'r'"),
    ("qreg q[2]; qreg r[3];\ncx q, r;", "line 2: cx: registers of different sizes [2, 3]"),
    ('include "other.inc";', 'line 1: include "other.inc": only qelib1.inc is known'),
    ("OPENQASM 3.0;", "line 1: OPENQASM 3.0 is not read here"),
    ("qreg q[1];\nrx(theta) q[0];", "line 2: unknown parameter 'theta'"),
    ("qreg q[1];\nrx(1/0) q[0];", "line 2: division by zero"),
    ("qreg q[1];\nh q[0]", "line 2: the program ends where ; was expected"),
    ("qreg q[1];\nh q[0] $;", "line 2: unexpected character '$'"),
    ("qreg q[1]; qreg q[2];", "line 1: register 'q' is declared twice"),
    ("qreg q[1];\ngate g a { g a; }\ng q[0];", "line 3: gate g is defined in terms of itself"),
]


@pytest.mark.parametrize("program, message", QASM_BAD)
def test_qasm_programs_refused_name_the_line(program, message):
    with pytest.raises(ValueError) as info:
        circuits.simulate(program)
    assert str(info.value).startswith(message)


MEASURED = as_qiskit([("h", [0], []), ("measure", [0], [])], 1)
BAD = [  # call, exception, message start
    (lambda: circuits.simulate([("foo", [0], [])]), ValueError, 'circuit[0]: unknown gate "foo"'),
    (lambda: circuits.simulate([("h", [0], []), ("cx", [0], [])]), ValueError, 'circuit[1]: gate "cx" acts on 2 qubits, got 1'),
    (lambda: circuits.simulate([("rx", [0], [])]), ValueError, 'circuit[0]: gate "rx" takes 1 parameter, got 0'),
    (lambda: circuits.simulate([("cx", [1, 1], [])]), ValueError, 'circuit[0]: gate "cx" names qubit 1 twice'),
    (lambda: circuits.simulate([("h", [3], [])], 2), ValueError, "circuit[0]: qubit 3 is beyond the state's 2 qubits"),
    (lambda: circuits.simulate([("h", [-1], [])]), ValueError, "circuit[0]: qubit -1 is negative"),
    (lambda: circuits.simulate([("h", 0, [])]), TypeError, "circuit[0]: expected a sequence of qubits"),
    (lambda: circuits.simulate([("h", [0])]), TypeError, "circuit[0]: expected a (gate, qubits, params) tuple"),
    (lambda: circuits.simulate([("rx", [0], ["a"])]), TypeError, "circuit[0]: expected a real parameter"),
    (lambda: circuits.simulate(7), TypeError, "circuit: expected a list"),
    (lambda: circuits.simulate([], -1), ValueError, "n_qubits: must be >= 0"),
    (lambda: circuits.simulate(MEASURED), ValueError, "circuit.data[1]: measure (measurement) is not simulated"),
    (lambda: circuits.simulate([], 40), MemoryError, "a state of 40 qubits needs 17,592,186,044,416 bytes"),
    (lambda: circuits.probabilities(np.ones(3)), ValueError, "state: expected a 1-D array of 2**n amplitudes"),
    (lambda: circuits.probabilities(np.array(["a", "b"])), TypeError, "state: expected complex amplitudes"),
    (lambda: circuits.probabilities(np.ones(4), [2]), ValueError, "qubits: qubit 2 is beyond the state's 2 qubits"),
    (lambda: circuits.probabilities(np.ones(4), [1, 1]), ValueError, "qubits: [1, 1] names a qubit twice"),
    (lambda: circuits.sample(np.ones(4), -1, seed=1), ValueError, "shots: must be >= 0"),
    (lambda: circuits.sample(np.ones(4), 1, seed=1.5), TypeError, "seed: expected an int"),
    (lambda: circuits.sample(np.zeros(4), 1, seed=1), ValueError, "state: its probabilities sum to 0"),
    (lambda: circuits.expectation(np.ones(4), {"XZZ": 1.0}), ValueError, "observable[0]: 'XZZ' is not a string of 2"),
    (lambda: circuits.expectation(np.ones(4), {"XA": 1.0}), ValueError, "observable[0]: 'XA' is not a string"),
    (lambda: circuits.expectation(np.ones(4), [("XX", "1")]), TypeError, "observable[0]: expected a number"),
    (lambda: circuits.expectation(np.ones(4), 3), TypeError, "observable: expected a mapping"),
]


@pytest.mark.parametrize("call, error, message", BAD)
def test_bad_input_is_refused_naming_it(call, error, message):
    with pytest.raises(error) as info:
        call()
    assert str(info.value).startswith(message)


def random_state(n, seed, zeros=0):
    rng = np.random.default_rng(seed)
    psi = rng.normal(size=2**n) + 1j * rng.normal(size=2**n)
    psi[rng.choice(2**n, zeros, replace=False)] = 0
    return psi / np.linalg.norm(psi)


@pytest.mark.parametrize("n, qubits", [(7, None), (7, [3, 0, 5]), (12, [11, 2]), (12, [4]), (6, list(range(6)))])
def test_probabilities_and_marginals_against_numpy(n, qubits):
    psi = random_state(n, n)
    full = psi.real**2 + psi.imag**2
    if qubits is None:
        assert circuits.probabilities(psi).tobytes() == full.tobytes()
        return
    axes = tuple(n - 1 - q for q in reversed(qubits))  # C order: axis 0 is the highest qubit
    expected = full.reshape([2] * n).sum(axis=tuple(a for a in range(n) if a not in axes))
    expected = np.moveaxis(expected, np.argsort(np.argsort(axes)), range(len(axes))).reshape(-1)
    np.testing.assert_allclose(circuits.probabilities(psi, qubits), expected, rtol=1e-13, atol=0)


def pauli_value(psi, label):
    """<psi|P|psi> with P|j> = i^(#Y) (-1)^popcount(j & z) |j ^ x>, character q on qubit q."""
    x = sum(1 << q for q, c in enumerate(label) if c in "XY")
    z = sum(1 << q for q, c in enumerate(label) if c in "ZY")
    j = np.arange(len(psi))
    parity = j & z
    for shift in (32, 16, 8, 4, 2, 1):
        parity ^= parity >> shift
    parity &= 1
    image = np.empty_like(psi)
    image[j ^ x] = 1j ** label.count("Y") * (-1.0) ** parity * psi
    return np.vdot(psi, image).real


def test_expectations_against_numpy():
    n, rng = 10, random.Random(5)
    psi = random_state(n, 1)
    masks = ["".join(rng.choice("IXYZ") for _ in range(n)) for _ in range(8)]
    terms = [("".join(c if c in "IZ" or rng.random() < 0.5 else "XY"[c == "X"] for c in m), rng.uniform(-2, 2))
             for m in masks for _ in range(4 if m < masks[4] else 20)] + [("I" * n, 0.5)]  # groups of 4 and of 20
    expected = sum(c * pauli_value(psi, p) for p, c in terms)
    assert circuits.expectation(psi, terms) == pytest.approx(expected, abs=1e-12)
    mapping = dict(terms[:3])
    assert circuits.expectation(psi, mapping) == pytest.approx(sum(c * pauli_value(psi, p) for p, c in mapping.items()),
                                                               abs=1e-12)
    value = circuits.expectation(psi, [(p, 1j * c) for p, c in terms])
    assert isinstance(value, complex) and value == pytest.approx(1j * expected, abs=1e-12)
    # A group of more terms than one pass takes, Z-only strings of 10 qubits.
    labels = [format(z, "010b")[::-1].replace("0", "I").replace("1", "Z") for z in range(600)]
    expected = sum(pauli_value(psi, p) for p in labels)
    assert circuits.expectation(psi, dict.fromkeys(labels, 1.0)) == pytest.approx(expected, abs=1e-11)
    # Masks of few terms share passes over tiles of the state: at 20 qubits, several tiles and
    # several rounds of masks, with X/Y only in the low qubits, Z only, and across the top qubit.
    n = 20
    psi = random_state(n, 4)
    labels = ["".join(rng.choice("IXYZ") for _ in range(n)) for _ in range(40)]
    labels += ["XY" + "Z" * (n - 2), "IZ" * (n // 2), "I" * (n - 1) + "Y", "Y" + "I" * (n - 2) + "X"]
    terms = [(p, rng.uniform(-1, 1)) for p in labels]
    expected = sum(c * pauli_value(psi, p) for p, c in terms)
    assert circuits.expectation(psi, terms) == pytest.approx(expected, abs=1e-12)
    # Many terms read a state off the cache lines (where NumPy puts arrays) from an aligned copy.
    terms += [("".join(rng.choice("IXYZ") for _ in range(n)), 1.0) for _ in range(30)]
    buf = np.empty(psi.nbytes + 64, np.uint8)
    values = set()
    for offset in (0, 16):
        start = -buf.ctypes.data % 64 + offset
        placed = buf[start:start + psi.nbytes].view(np.complex128)
        placed[:] = psi
        values.add(circuits.expectation(placed, terms))
    assert len(values) == 1


def test_sampling_follows_the_probabilities():
    psi = random_state(4, 3, zeros=3)
    prob = psi.real**2 + psi.imag**2
    shots = 40_000
    rows = circuits.sample(psi, shots, seed=7)
    assert rows.dtype == np.uint8 and rows.shape == (shots, 4)
    index = rows @ (1 << np.arange(4))
    seen = np.bincount(index, minlength=16)
    assert not seen[prob == 0].any()  # an outcome of probability zero is never drawn
    chi2 = (((seen - shots * prob) ** 2)[prob > 0] / (shots * prob[prob > 0])).sum()
    assert chi2 < 32.9  # the 0.1% point of chi-square with 12 degrees of freedom
    assert np.array_equal(circuits.sample(psi, shots, seed=7, qubits=[2, 0]), rows[:, [2, 0]])
    one = circuits.simulate([("x", [0], [])], 2)  # qubit 0 set: Qiskit writes it rightmost
    assert circuits.counts(one, 5, seed=1) == {"01": 5}
    assert circuits.counts(one, 5, seed=1, qubits=[1, 0]) == {"10": 5}
    assert circuits.counts(one, 0, seed=1) == {}


def test_results_do_not_depend_on_the_thread_count():
    script = (
        "import hashlib, numpy as np; from tavik import circuits as c; from test_circuits import random_circuit\n"
        "s = c.simulate(random_circuit(16, c.GATES, 200, 9))\n"
        "print(hashlib.sha1(s.tobytes() + c.probabilities(s, [15, 3, 0]).tobytes() + c.sample(s, 3000, seed=2)"
        ".tobytes() + np.float64(c.expectation(s, {'XZIY' * 4: 1.0, 'ZZ' * 8: 0.5})).tobytes()).hexdigest())")
    one, every = run_child(script, cpus=1), run_child(script)
    assert one.returncode == every.returncode == 0, one.stderr + every.stderr
    assert one.stdout == every.stdout


def test_a_state_beyond_physical_memory_is_refused_before_allocating(cpu_shim):
    code = ("import resource\nfrom tavik import circuits\nbefore = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss\n"
            "try:\n    circuits.simulate([('h', [23], [])])\nexcept MemoryError as e:\n"
            "    print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before, e)\n")
    result = run_child(code, preload=cpu_shim, env={"SHIM_PHYS_BYTES": str(2**27)})
    grown, message = result.stdout.split(" ", 1)
    assert int(grown) < 32 * 1024 and message.startswith("a state of 24 qubits needs 268,435,")


QULACS = {"id": "Identity", "x": "X", "y": "Y", "z": "Z", "h": "H", "s": "S", "sdg": "Sdag", "t": "T", "tdg": "Tdag",
          "sx": "sqrtX", "sxdg": "sqrtXdag", "rx": "RotX", "ry": "RotY", "rz": "RotZ", "p": "U1", "u1": "U1",
          "u2": "U2", "u3": "U3", "u": "U3", "cx": "X", "cy": "Y", "cz": "Z", "ch": "H", "crx": "RotX",
          "cry": "RotY", "crz": "RotZ", "cp": "U1", "cu1": "U1", "cu3": "U3", "ccx": "X", "ccz": "Z"}


def test_every_gate_against_qulacs():
    qulacs = pytest.importorskip("qulacs")
    n = 6
    circuit = random_circuit(n, circuits.GATES, 300, seed=77)
    qc = qulacs.QuantumCircuit(n)
    for g, qs, ps in circuit:
        swap = g in ("swap", "cswap")
        gate = qulacs.gate.SWAP(*qs[-2:]) if swap else getattr(qulacs.gate, QULACS[g])(qs[-1], *ps)
        matrix = qulacs.gate.to_matrix_gate(gate)
        for c in qs[: -2 if swap else -1]:
            matrix.add_control_qubit(c, 1)
        qc.add_gate(matrix)
    state = qulacs.QuantumState(n)
    qc.update_quantum_state(state)
    np.testing.assert_allclose(circuits.simulate(circuit), state.get_vector(), rtol=0, atol=1e-12)
