"""States of gate-model circuits up to the memory limit, and what is computed from them.

:func:`simulate` runs a circuit on ``|0…0⟩`` and returns its state, ``complex128[2**n]``:
amplitude k is that of basis index k, and qubit q is bit q of k (qubit 0 the least significant
bit). A circuit is

- the core's list of ``(gate, qubits, params)`` tuples (see :func:`tavik.tavik_core.run_statevector`),
  over the gates of :data:`GATES`;
- an OpenQASM 2.0 program as text: ``qelib1.inc``'s gates, ``U`` and ``CX``, ``qreg``/``creg``,
  ``barrier`` and ``gate`` definitions; registers are numbered in the order they are declared.
  ``measure``, ``reset``, ``if`` and ``opaque`` are refused with a ``ValueError`` naming the line:
  a state is what comes before measurement (sample it with :func:`sample`);
- any object that iterates like a Qiskit ``QuantumCircuit`` (``.data`` items with
  ``.operation.name``, ``.operation.params`` and ``.qubits``, and ``.num_qubits``; Qiskit itself
  is never imported), its ``global_phase`` applied to the result.

The core's gates (h, x, y, z, s, t, rx, ry, rz, u, cx, cz, swap) give exactly the core's
amplitudes, bit for bit, on any number of threads and every SIMD path; every other gate is a 2×2
matrix on its last qubit, controlled by the others (cswap runs as three exact exchanges), exact to
rounding. ``rz(θ)`` is ``exp(-iθZ/2)``, as in the core and in Qiskit (``qelib1.inc`` defines it
as ``u1(θ)``, a global phase apart); ``u``, ``u3`` and ``U`` are one gate.

Memory is the only limit on the number of qubits: a state takes ``16 · 2**n`` bytes (16 GiB
at 30 qubits) and the call needs that plus its own few bytes per gate. A call that cannot fit in
the memory the process may still use (physical memory, its container's limit and its rlimits,
less what it already holds) raises ``MemoryError`` naming the bytes, before allocating.

From a state (any ``complex128`` vector of ``2**n`` amplitudes):

- :func:`probabilities`: ``re² + im²`` of each amplitude, or the marginal over some qubits;
- :func:`sample` and :func:`counts`: measurement outcomes drawn from a NumPy generator seeded
  by the caller, the same for a seed on any number of threads;
- :func:`expectation`: the expectation value of a sum of Pauli strings, exact to rounding.

Bit order: in :func:`sample`'s rows and :func:`probabilities`' outcomes, column or bit c is
``qubits[c]`` (qubit c by default). :func:`counts` writes bitstrings as Qiskit does, the first
qubit rightmost: ``"10"`` is qubit 0 at 0 and qubit 1 at 1. Pauli strings are the other way
round: character q acts on qubit q (``"XZ"`` is X on qubit 0, Z on qubit 1).

Every call runs its native part with the interpreter lock released, on every CPU the process
may use; Ctrl-C stops it within a fraction of a second, and calls that may outlast a few
seconds draw a progress bar on a terminal (with tqdm where installed).
"""

from __future__ import annotations

import math
import numbers
import operator
import re
from collections.abc import Callable, Iterable, Mapping, Sequence
from typing import Any, Protocol, TypeAlias, TypeVar

import numpy as np
import numpy.typing as npt

from tavik._progress import with_progress
from tavik import _arrays

__all__ = ["GATES", "CircuitLike", "ObservableLike", "counts", "expectation", "probabilities", "sample",
           "simulate"]

#: Every gate :func:`simulate` runs: name → (qubits, parameters).
GATES: Mapping[str, tuple[int, int]] = {name: (q, p) for name, q, p in _arrays.circuit_gates()}

Instruction: TypeAlias = tuple[str, Sequence[int], Sequence[float]]
T = TypeVar("T")


class _Operation(Protocol):
    @property
    def name(self) -> str: ...
    @property
    def params(self) -> Sequence[Any]: ...


class _Item(Protocol):
    @property
    def operation(self) -> _Operation: ...
    @property
    def qubits(self) -> Sequence[Any]: ...


class QiskitLike(Protocol):
    """What is read of a circuit object: the attributes of Qiskit's ``QuantumCircuit``."""

    @property
    def data(self) -> Sequence[Any]: ...
    @property
    def num_qubits(self) -> int: ...


CircuitLike: TypeAlias = Sequence[Instruction] | str | QiskitLike
ObservableLike: TypeAlias = Mapping[str, complex] | Iterable[tuple[str, complex]]


# --- reading circuits ---------------------------------------------------------------------


class _Read:
    """A circuit as the kernel takes it: instructions, where each came from, the width."""

    def __init__(self) -> None:
        self.instructions: list[tuple[str, list[int], list[float]]] = []
        self.where: list[str] = []
        self.n_qubits = 0
        self.global_phase = 0.0

    def add(self, name: str, qubits: list[int], params: list[float], where: str) -> None:
        self.instructions.append((name, qubits, params))
        self.where.append(where)
        if qubits:
            self.n_qubits = max(self.n_qubits, max(qubits) + 1)


def _index(value: object, what: str) -> int:
    try:
        q = operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"{what}: expected an int qubit, not {type(value).__name__}") from None
    if q < 0:
        raise ValueError(f"{what}: qubit {q} is negative")
    return q


def _real(value: object, what: str) -> float:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (numbers.Real, np.floating, np.integer)):
        try:
            return float(value)  # type: ignore[arg-type]
        except (TypeError, ValueError):
            raise TypeError(f"{what}: expected a real parameter, not {value!r}") from None
    return float(value)


def _from_tuples(circuit: Iterable[Any]) -> _Read:
    read = _Read()
    for k, item in enumerate(circuit):
        where = f"circuit[{k}]"
        if not (isinstance(item, (tuple, list)) and len(item) == 3 and isinstance(item[0], str)):
            raise TypeError(f"{where}: expected a (gate, qubits, params) tuple, not {item!r}")
        name, qubits, params = item
        if isinstance(qubits, (str, bytes)) or not isinstance(qubits, Iterable):
            raise TypeError(f"{where}: expected a sequence of qubits, not {qubits!r}")
        if isinstance(params, (str, bytes)) or not isinstance(params, Iterable):
            raise TypeError(f"{where}: expected a sequence of parameters, not {params!r}")
        read.add(name, [_index(q, where) for q in qubits], [_real(p, where) for p in params], where)
    return read


_REFUSED = {"measure": "measurement", "reset": "reset", "if_else": "classical control",
            "while_loop": "classical control", "for_loop": "classical control", "switch_case": "classical control"}


def _from_qiskit(circuit: Any) -> _Read:
    read = _Read()
    number = {q: i for i, q in enumerate(getattr(circuit, "qubits", ()))}
    for k, item in enumerate(circuit.data):
        where = f"circuit.data[{k}]"
        operation = item.operation if hasattr(item, "operation") else item[0]
        qargs = item.qubits if hasattr(item, "qubits") else item[1]
        name = str(operation.name)
        if name == "barrier":
            continue
        if name in _REFUSED or getattr(operation, "condition", None) is not None:
            what = _REFUSED.get(name, "classical control")
            raise ValueError(f"{where}: {name} ({what}) is not simulated: the state is what comes before "
                             "measurement; sample it with tavik.circuits.sample")
        params = []
        for p in operation.params:
            try:
                params.append(float(p))
            except (TypeError, ValueError):
                raise TypeError(f"{where}: parameter {p!r} of {name} has no numeric value (bind it first)") from None
        qubits = [number[q] if q in number else _index(q, where) for q in qargs]
        read.add(name, qubits, params, where)
    read.n_qubits = max(read.n_qubits, _index(circuit.num_qubits, "circuit.num_qubits"))
    read.global_phase = float(getattr(circuit, "global_phase", 0.0) or 0.0)
    return read


# OpenQASM 2.0 -------------------------------------------------------------------------------

_TOKEN = re.compile(r"""
    (?P<space>\s+|//[^\n]*|/\*.*?\*/)
  | (?P<real>(?:\d+\.\d*|\.\d+)(?:[eE][+-]?\d+)?|\d+[eE][+-]?\d+)
  | (?P<int>\d+)
  | (?P<id>[A-Za-z_][A-Za-z0-9_]*)
  | (?P<string>"[^"\n]*")
  | (?P<op>->|==|[;,()\[\]{}+\-*/^])
""", re.X | re.S)

_FUNCTIONS: dict[str, Callable[[float], float]] = {
    "sin": math.sin, "cos": math.cos, "tan": math.tan, "exp": math.exp, "ln": math.log, "sqrt": math.sqrt}
_ALIASES = {"U": "u", "CX": "cx"}


class _QasmError(ValueError):
    pass


class _Tokens:
    def __init__(self, tokens: list[tuple[str, str, int]]) -> None:
        self.tokens = tokens
        self.at = 0

    def line(self) -> int:
        return self.tokens[min(self.at, len(self.tokens) - 1)][2] if self.tokens else 1

    def fail(self, message: str, line: int | None = None) -> _QasmError:
        return _QasmError(f"line {self.line() if line is None else line}: {message}")

    def peek(self) -> str:
        return self.tokens[self.at][1] if self.at < len(self.tokens) else ""

    def take(self, kind: str | None = None, text: str | None = None) -> str:
        if self.at >= len(self.tokens):
            raise self.fail(f"the program ends where {text or kind} was expected")
        k, t, _ = self.tokens[self.at]
        if (kind is not None and k != kind) or (text is not None and t != text):
            raise self.fail(f"expected {text or kind}, found {t!r}")
        self.at += 1
        return t

    def accept(self, text: str) -> bool:
        if self.peek() == text:
            self.at += 1
            return True
        return False

    # expressions: + - * / ^ (right-associative), unary minus, pi, the six functions
    def expression(self, env: Mapping[str, float]) -> float:
        value = self._term(env)
        while self.peek() in ("+", "-"):
            value = value + self._term(env) if self.take() == "+" else value - self._term(env)
        return value

    def _term(self, env: Mapping[str, float]) -> float:
        value = self._power(env)
        while self.peek() in ("*", "/"):
            op = self.take()
            right = self._power(env)
            if op == "/" and right == 0:
                raise self.fail("division by zero")
            value = value * right if op == "*" else value / right
        return value

    def _power(self, env: Mapping[str, float]) -> float:
        base = self._unary(env)
        if self.accept("^"):
            try:
                return float(base ** self._power(env))
            except (OverflowError, ZeroDivisionError) as error:
                raise self.fail(f"{error}") from None
        return base

    def _unary(self, env: Mapping[str, float]) -> float:
        if self.accept("-"):
            return -self._unary(env)
        if self.accept("+"):
            return self._unary(env)
        kind, text, _ = self.tokens[self.at] if self.at < len(self.tokens) else ("", "", 0)
        if kind in ("real", "int"):
            self.at += 1
            return float(text)
        if kind == "id":
            self.at += 1
            if text == "pi":
                return math.pi
            if text in _FUNCTIONS:
                self.take(text="(")
                argument = self.expression(env)
                self.take(text=")")
                try:
                    return _FUNCTIONS[text](argument)
                except (ValueError, OverflowError):
                    raise self.fail(f"{text}({argument!r}) is undefined") from None
            if text in env:
                return env[text]
            raise self.fail(f"unknown parameter {text!r}")
        self.take(text="(")
        value = self.expression(env)
        self.take(text=")")
        return value


class _Definition:
    def __init__(self, params: list[str], qubits: list[str], body: list[tuple[str, str, int]]) -> None:
        self.params, self.qubits, self.body = params, qubits, body


class _Qasm:
    def __init__(self, text: str) -> None:
        tokens, line, at = [], 1, 0
        while at < len(text):
            match = _TOKEN.match(text, at)
            if match is None:
                raise _QasmError(f"line {line}: unexpected character {text[at]!r}")
            kind = match.lastgroup or ""
            if kind != "space":
                tokens.append((kind, match.group(), line))
            line += match.group().count("\n")
            at = match.end()
        self.tokens = _Tokens(tokens)
        self.registers: dict[str, tuple[int, int]] = {}  # name → (first qubit, size)
        self.classical: set[str] = set()
        self.definitions: dict[str, _Definition] = {}
        self.read = _Read()

    def run(self) -> _Read:
        t = self.tokens
        if t.peek() == "OPENQASM":
            t.take()
            version = t.take()
            if not version.startswith("2"):
                raise t.fail(f"OPENQASM {version} is not read here: only OpenQASM 2.0 is")
            t.take(text=";")
        while t.at < len(t.tokens):
            self.statement()
        self.read.n_qubits = sum(size for _, size in self.registers.values())
        return self.read

    def _size(self) -> int:
        t = self.tokens
        t.take(text="[")
        size = int(t.take("int"))
        t.take(text="]")
        return size

    def statement(self) -> None:
        t = self.tokens
        line = t.line()
        word = t.take()
        if word in ("measure", "reset", "if", "opaque"):
            what = {"measure": "measurement", "reset": "reset", "if": "classical control",
                    "opaque": "an opaque gate"}[word]
            raise t.fail(f"{word} ({what}) is not simulated: the state is what comes before measurement; "
                         "sample it with tavik.circuits.sample", line)
        if word == "include":
            name = t.take("string")
            if name != '"qelib1.inc"':
                raise t.fail(f"include {name}: only qelib1.inc is known", line)
            t.take(text=";")
        elif word in ("qreg", "creg"):
            name = t.take("id")
            size = self._size()
            if name in self.registers or name in self.classical:
                raise t.fail(f"register {name!r} is declared twice", line)
            if word == "qreg":
                self.registers[name] = (sum(s for _, s in self.registers.values()), size)
            else:
                self.classical.add(name)
            t.take(text=";")
        elif word == "gate":
            self.definition()
        elif word == "barrier":
            while not t.accept(";"):
                t.take()
        elif t.tokens[t.at - 1][0] == "id":
            self.call(word, line)
        else:
            raise t.fail(f"unexpected {word!r}", line)

    def definition(self) -> None:
        t = self.tokens
        name = t.take("id")
        params: list[str] = []
        if t.accept("("):
            while not t.accept(")"):
                params.append(t.take("id"))
                if t.peek() != ")":
                    t.take(text=",")
        qubits = [t.take("id")]
        while t.accept(","):
            qubits.append(t.take("id"))
        t.take(text="{")
        start = t.at
        while t.peek() != "}":
            t.take()
        self.definitions[name] = _Definition(params, qubits, t.tokens[start:t.at])
        t.take(text="}")

    def _argument(self) -> list[int]:
        t = self.tokens
        name = t.take("id")
        if name not in self.registers:
            raise t.fail(f"unknown quantum register {name!r}")
        first, size = self.registers[name]
        if t.peek() != "[":
            return list(range(first, first + size))
        index = self._size()
        if index >= size:
            raise t.fail(f"{name}[{index}] is beyond the register's {size} qubits")
        return [first + index]

    def call(self, name: str, line: int) -> None:
        t = self.tokens
        params: list[float] = []
        if t.accept("("):
            while not t.accept(")"):
                params.append(t.expression({}))
                if t.peek() != ")":
                    t.take(text=",")
        arguments = [self._argument()]
        while t.accept(","):
            arguments.append(self._argument())
        t.take(text=";")
        sizes = {len(a) for a in arguments if len(a) != 1}
        if len(sizes) > 1:
            raise t.fail(f"{name}: registers of different sizes {sorted(sizes)}", line)
        for k in range(sizes.pop() if sizes else 1):
            self.apply(name, params, [a[k] if len(a) > 1 else a[0] for a in arguments], line, 0)

    def apply(self, name: str, params: list[float], qubits: list[int], line: int, depth: int) -> None:
        t = self.tokens
        gate = _ALIASES.get(name, name)
        if gate in GATES:
            n_qubits, n_params = GATES[gate]
        elif name in self.definitions:
            n_qubits, n_params = len(self.definitions[name].qubits), len(self.definitions[name].params)
        else:
            raise t.fail(f"unknown gate {name!r}", line)
        if len(qubits) != n_qubits or len(params) != n_params:
            raise t.fail(f"{name} takes {n_params} parameter(s) and {n_qubits} qubit(s), got {len(params)} "
                         f"and {len(qubits)}", line)
        if len(set(qubits)) != len(qubits):
            raise t.fail(f"{name} names a qubit twice", line)
        if gate in GATES:
            self.read.add(gate, qubits, params, f"line {line}")
            return
        if depth > 64:
            raise t.fail(f"gate {name} is defined in terms of itself", line)
        definition = self.definitions[name]
        env = dict(zip(definition.params, params))
        wires = dict(zip(definition.qubits, qubits))
        body = _Tokens(definition.body)
        while body.at < len(body.tokens):
            word = body.take()
            if word == "barrier":
                while not body.accept(";"):
                    body.take()
                continue
            inner: list[float] = []
            if body.accept("("):
                while not body.accept(")"):
                    inner.append(body.expression(env))
                    if body.peek() != ")":
                        body.take(text=",")
            names = [body.take("id")]
            while body.accept(","):
                names.append(body.take("id"))
            body.take(text=";")
            if any(w not in wires for w in names):
                raise body.fail(f"gate {name}: unknown qubit argument in {names}")
            self.apply(word, inner, [wires[w] for w in names], line, depth + 1)


def _read(circuit: CircuitLike) -> _Read:
    if isinstance(circuit, str):
        return _Qasm(circuit).run()
    if hasattr(circuit, "data") and hasattr(circuit, "num_qubits"):
        return _from_qiskit(circuit)
    if isinstance(circuit, Iterable) and not isinstance(circuit, (bytes, Mapping)):
        return _from_tuples(circuit)
    raise TypeError("circuit: expected a list of (gate, qubits, params) tuples, OpenQASM 2.0 text or a "
                    f"QuantumCircuit-like object, not {type(circuit).__name__}")


# --- memory and progress -------------------------------------------------------------------


def _fits(what: str, needed: int) -> None:
    """MemoryError naming the bytes `what` needs unless they fit in what the process may use."""
    available = _arrays.memory_available()
    if needed >= 2**20 and needed > available:
        raise MemoryError(f"{what} needs {needed:,} bytes ({needed / 2**30:.3g} GiB), more than the "
                          f"{available:,} bytes this process may still use")


_BAR_WORK = 2**33  # amplitude updates (per gate, per group of terms) past which a call may outlast a few seconds


def _with_progress(call: Callable[[npt.NDArray[np.uint64]], T], total: int, work: int, unit: str) -> T:
    return with_progress(call, total, long=work >= _BAR_WORK, unit=unit, label="tavik.circuits")


# --- simulation ----------------------------------------------------------------------------------


def simulate(
    circuit: CircuitLike, n_qubits: int | None = None, *, fuse: bool = False
) -> npt.NDArray[np.complex128]:
    """The state after `circuit` on ``|0…0⟩``: ``complex128[2**n]``, qubit q bit q of the index.

    ``n`` is `n_qubits` when given (at least the circuit's width), otherwise the circuit's:
    its registers (OpenQASM), ``num_qubits`` (a circuit object) or its highest qubit plus one
    (tuples). A malformed instruction raises ``TypeError`` or ``ValueError`` naming it
    (``circuit[3]``, ``circuit.data[3]`` or the program's ``line 7``) before any work starts;
    a state that cannot fit raises ``MemoryError`` naming its bytes before allocating.

    By default the core's gates give ``run_statevector``'s amplitudes bit for bit. ``fuse=True``
    first multiplies each run of single-qubit gates on a qubit (no other gate touching it in
    between) into one matrix: often several times faster, with amplitudes equal to rounding
    (about 1e-15 per fused gate), no longer the core's bits."""
    read = _read(circuit)
    n = read.n_qubits
    if n_qubits is not None:
        try:
            n = operator.index(n_qubits)
        except TypeError:
            raise TypeError(f"n_qubits: expected an int, not {type(n_qubits).__name__}") from None
        if n < 0:
            raise ValueError(f"n_qubits: must be >= 0, got {n}")
    _fits(f"a state of {n} qubits", 16 * 2**n + 64 * len(read.instructions))
    ops = sum({"id": 0, "cswap": 3}.get(name, 1) for name, _, _ in read.instructions)
    try:
        raw = _with_progress(
            lambda p: _arrays.run_circuit(read.instructions, n, int(bool(fuse)), p), ops, ops << n, "gates"
        )
    except ValueError as error:  # the kernel numbers instructions; say where each came from
        match = re.match(r"circuit\[(\d+)\]: (.*)", str(error), re.S)
        if match is None:
            raise
        raise ValueError(f"{read.where[int(match.group(1))]}: {match.group(2)}") from None
    state = np.frombuffer(raw, dtype=np.complex128)
    if read.global_phase:
        state = state.copy() if not state.flags.writeable else state
        state *= complex(math.cos(read.global_phase), math.sin(read.global_phase))
    return state


# --- what states give --------------------------------------------------------------------------


def _state(state: npt.ArrayLike) -> tuple[npt.NDArray[np.complex128], int]:
    arr = np.asarray(state)
    if arr.dtype.kind not in "biufc":
        raise TypeError(f"state: expected complex amplitudes, not an array of {arr.dtype}")
    if arr.ndim != 1 or arr.size == 0 or arr.size & (arr.size - 1):
        raise ValueError(f"state: expected a 1-D array of 2**n amplitudes, got shape {arr.shape}")
    return np.require(arr, dtype=np.complex128, requirements=("C", "A")), arr.size.bit_length() - 1


def _qubits(qubits: Iterable[int] | None, n: int) -> npt.NDArray[np.uint64] | None:
    if qubits is None:
        return None
    if isinstance(qubits, (str, bytes)) or not isinstance(qubits, Iterable):
        raise TypeError(f"qubits: expected a sequence of ints, not {type(qubits).__name__}")
    chosen = [_index(q, "qubits") for q in qubits]
    for q in chosen:
        if q >= n:
            raise ValueError(f"qubits: qubit {q} is beyond the state's {n} qubits")
    if len(set(chosen)) != len(chosen):
        raise ValueError(f"qubits: {chosen} names a qubit twice")
    return np.array(chosen, dtype=np.uint64)


def probabilities(state: npt.ArrayLike, qubits: Sequence[int] | None = None) -> npt.NDArray[np.float64]:
    """The probability of each basis state, ``re² + im²`` of its amplitude (``float64[2**n]``),
    or with `qubits`, of each outcome of measuring those qubits (``float64[2**len(qubits)]``):
    bit c of an outcome is qubit ``qubits[c]``. Marginals sum the probabilities in index order
    within fixed blocks of the state, then the blocks in order: the same bits on any number of
    threads."""
    arr, n = _state(state)
    chosen = _qubits(qubits, n)
    if chosen is None or np.array_equal(chosen, np.arange(n)):
        _fits("the probabilities", 8 * arr.size)
        return np.frombuffer(_arrays.circuit_probabilities(arr), dtype=np.float64)
    k = len(chosen)
    _fits("the marginal", 8 * 2**k + (8 * 2**(k + min(max(n - k - 4, 0), 6)) if n - k > 4 else 0))
    return np.frombuffer(_arrays.circuit_marginal(arr, chosen), dtype=np.float64)


_SHOTS_PER_CHUNK = 2**18


def _draws(state: npt.ArrayLike, shots: object, seed: object,
           qubits: Sequence[int] | None) -> tuple[npt.NDArray[np.uint64], npt.NDArray[np.uint64], int]:
    arr, n = _state(state)
    chosen = _qubits(qubits, n)
    chosen = np.arange(n, dtype=np.uint64) if chosen is None else chosen
    try:
        count = operator.index(shots)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"shots: expected an int, not {type(shots).__name__}") from None
    if count < 0:
        raise ValueError(f"shots: must be >= 0, got {count}")
    if isinstance(seed, (bool, np.bool_)) or not isinstance(seed, (numbers.Integral, np.random.Generator,
                                                                     np.random.SeedSequence)):
        raise TypeError(f"seed: expected an int, a SeedSequence or a numpy Generator, not {type(seed).__name__}")
    _fits(f"{count:,} shots", count * (24 + len(chosen)))  # indices, their outcomes and a sorted copy, the bits
    prefix = np.frombuffer(_arrays.circuit_sample_prefix(arr), dtype=np.float64)
    rng = np.random.default_rng(seed)  # type: ignore[arg-type]
    indices = np.empty(count, dtype=np.uint64)
    # Chunks of the generator's one stream keep each NumPy step short, so Ctrl-C is heard between them.
    for start in range(0, count, _SHOTS_PER_CHUNK):
        uniforms = rng.random(min(_SHOTS_PER_CHUNK, count - start))
        order = np.argsort(uniforms, kind="stable")
        drawn = _arrays.circuit_sample(arr, prefix, np.ascontiguousarray(uniforms[order]))
        indices[start + order] = np.frombuffer(drawn, dtype=np.uint64)
    return indices, chosen, n


def sample(state: npt.ArrayLike, shots: int, *, seed: int | np.random.Generator | np.random.SeedSequence,
           qubits: Sequence[int] | None = None) -> npt.NDArray[np.uint8]:
    """`shots` measurements of `qubits` (every qubit by default) in the computational basis:
    ``uint8[shots, len(qubits)]``, column c the bit of qubit ``qubits[c]``.

    Outcome i is the first basis index whose running probability passes ``u_i`` times the
    total, the ``u_i`` drawn by ``numpy.random.default_rng(seed).random(shots)``: the same
    rows for the same seed, on any number of threads. A state of zero norm raises
    ``ValueError``."""
    indices, chosen, _ = _draws(state, shots, seed, qubits)
    bits = np.empty((len(indices), len(chosen)), dtype=np.uint8)
    for c, q in enumerate(chosen):
        bits[:, c] = (indices >> q) & np.uint64(1)
    return bits


def counts(state: npt.ArrayLike, shots: int, *, seed: int | np.random.Generator | np.random.SeedSequence,
           qubits: Sequence[int] | None = None) -> dict[str, int]:
    """:func:`sample`'s outcomes counted: ``{bitstring: count}``, in ascending order of the
    bitstrings, each written as Qiskit writes them: ``qubits[0]`` (qubit 0 by default) is the
    rightmost character."""
    indices, chosen, _ = _draws(state, shots, seed, qubits)
    outcomes = np.zeros(len(indices), dtype=np.uint64)
    for c, q in enumerate(chosen):
        outcomes |= ((indices >> q) & np.uint64(1)) << np.uint64(c)
    values, tally = np.unique(outcomes, return_counts=True)
    k = len(chosen)
    return {format(int(v), f"0{k}b") if k else "": int(c) for v, c in zip(values, tally)}


def expectation(state: npt.ArrayLike, observable: ObservableLike) -> float | complex:
    """⟨ψ|H|ψ⟩ for ``H = Σ coeff · P``, `observable` a mapping ``{pauli_string: coeff}`` or a list of
    ``(pauli_string, coeff)`` pairs. A Pauli string has a character per qubit, I, X, Y or Z, and
    character q acts on qubit q (the reverse of Qiskit's labels). Real coefficients give a float,
    complex ones a complex number.

    Terms that share their X/Y positions are computed in one pass over the state (one pass per 512
    of them), each pair of amplitudes a term couples read once; each term's value is a sum over
    fixed blocks of the state in order, and the terms' weighted values are summed exactly
    (``math.fsum``) in the order given: exact to rounding, the same bits on any number of threads.
    For 64 terms or more, a state off 64-byte boundaries (NumPy places arrays on 16) is read from
    an aligned copy where one fits in memory, which is about a third faster."""
    arr, n = _state(state)
    items = observable.items() if isinstance(observable, Mapping) else observable
    if isinstance(items, (str, bytes)) or not isinstance(items, Iterable):
        raise TypeError(f"observable: expected a mapping or a list of (pauli_string, coeff), not "
                        f"{type(observable).__name__}")
    xs: list[int] = []
    zs: list[int] = []
    coefficients: list[complex] = []
    any_complex = False
    for k, item in enumerate(items):
        if not (isinstance(item, tuple) and len(item) == 2 and isinstance(item[0], str)):
            raise TypeError(f"observable[{k}]: expected a (pauli_string, coeff) pair, not {item!r}")
        label, coeff = item
        if len(label) != n or label.strip("IXYZ"):
            raise ValueError(f"observable[{k}]: {label!r} is not a string of {n} of I, X, Y, Z")
        if isinstance(coeff, (bool, np.bool_)) or not isinstance(coeff, (numbers.Number, np.number)):
            raise TypeError(f"observable[{k}]: expected a number as the coefficient, not {coeff!r}")
        xs.append(sum(1 << q for q, c in enumerate(label) if c in "XY"))
        zs.append(sum(1 << q for q, c in enumerate(label) if c in "ZY"))
        any_complex |= isinstance(coeff, (complex, np.complexfloating))
        coefficients.append(complex(coeff))  # type: ignore[arg-type]
    groups: dict[int, list[int]] = {}
    for t, x in enumerate(xs):
        groups.setdefault(x, []).append(t)
    order = [t for members in groups.values() for t in members]
    ends = np.cumsum([len(members) for members in groups.values()], dtype=np.uint64)
    values = np.empty(len(order))
    if order:
        x_masks = np.array(list(groups), dtype=np.uint64)
        z_masks = np.array([zs[t] for t in order], dtype=np.uint64)
        raw = _with_progress(lambda p: _arrays.circuit_expectations(arr, x_masks, ends, z_masks, p), len(order),
                             len(groups) * arr.size, "terms")
        values[order] = np.frombuffer(raw, dtype=np.float64)
    real = math.fsum(c.real * v for c, v in zip(coefficients, values.tolist()))
    if not any_complex:
        return real
    return complex(real, math.fsum(c.imag * v for c, v in zip(coefficients, values.tolist())))
