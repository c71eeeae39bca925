"""The module's boundary: loading, argument binding, value conversion, error reporting and the record-class
conventions. Names, signatures and docstrings are the surface check's (shared/tools/core_surface.py)."""

import gc
import inspect
import math
import operator
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import textwrap
import weakref

import pytest
from support import WRITABLE, core_classes, records, run_child

import tavik.tavik_core as core
from tavik.exceptions import SizeViolation

sim, ecc, cutting = core.sim, core.ecc, core.cutting


# --- loading -------------------------------------------------------------------


def test_the_module_is_made_once_and_its_submodules_cannot_be_imported():
    result = run_child(
        """
        import importlib, sys
        import tavik.tavik_core as first
        del sys.modules["tavik.tavik_core"]
        second = importlib.import_module("tavik.tavik_core")
        assert first is second and first.sim is second.sim
        try:
            import tavik.tavik_core.sim
        except ImportError:
            print("ok")
        """
    )
    assert result.stdout == "ok\n", result.stderr


# Each import in a second interpreter, once another has imported a module first, and the module its refusal names: the
# module itself refuses (in a legacy interpreter) or the import system or the module (in an isolated one, from 3.12).
# The array face is named, even where only the core was imported.
SECOND_INTERPRETER = {"tavik.tavik_core": "tavik_core", "tavik._arrays": "tavik._arrays", "tavik.arrays": "tavik._arrays"}


@pytest.mark.parametrize("first", ["tavik.tavik_core", "tavik.arrays"])
def test_a_second_interpreter_is_refused_by_each_module(first):
    # The private module behind subinterpreters changed its name and API in 3.12 and 3.13, so each subinterpreter
    # reports its own outcome on the shared stdout.
    inner = ("import os, warnings\nwarnings.simplefilter('ignore')\ntry:\n    import {}\n"
             "except ImportError as e:\n    os.write(1, f'{{e}}\\n'.encode())\n")
    result = run_child(
        f"""
        import sys
        try:
            import _interpreters as interpreters
            legacy, isolated = lambda: interpreters.create("legacy"), interpreters.create
        except ImportError:
            import _xxsubinterpreters as interpreters
            if sys.version_info >= (3, 12):
                legacy, isolated = lambda: interpreters.create(isolated=False), interpreters.create
            else:
                legacy, isolated = interpreters.create, None
        import {first}
        for make in [legacy, isolated] if isolated else [legacy]:
            for module in {list(SECOND_INTERPRETER)!r}:
                interpreters.run_string(make(), {inner!r}.format(module))
        """
    )
    lines = result.stdout.splitlines()
    names = list(SECOND_INTERPRETER.values())
    assert lines[:3] == [f"{name} can only be imported by one interpreter per process" for name in names], result.stderr
    assert len(lines) == (6 if sys.version_info >= (3, 12) else 3), result.stdout + result.stderr
    assert all(name in line and (name == "tavik_core") == ("tavik_core" in line) for name, line in zip(names, lines[3:]))


# --- binding -----------------------------------------------------------------


@pytest.mark.parametrize("call, message", [
    (lambda: core.qubo_energy_spectrum([], 1, 2), "qubo_energy_spectrum() takes 2 positional arguments but 3 were given"),
    (lambda: sim.IsingSimulator(1), "IsingSimulator.__new__() takes 0 positional arguments but 1 was given"),
    (lambda: core.qubo_energy_spectrum(qubo=[]), "qubo_energy_spectrum() missing 1 required positional argument: 'n_vars'"),
    (lambda: core.exact_ising_norm(), "exact_ising_norm() missing 3 required positional arguments: 'dh', 'dj', and 'n_sites'"),
    (lambda: sim.Interaction("a"), "Interaction.__new__() missing 2 required positional arguments: 'j' and 'weight'"),
    (lambda: core.qubo_energy_spectrum([], 1, x=2), "qubo_energy_spectrum() got an unexpected keyword argument 'x'"),
    (lambda: core.qubo_energy_spectrum([], qubo=[]), "qubo_energy_spectrum() got multiple values for argument 'qubo'"),
    (lambda: sim.IsingSimulator().solve_exact(), "IsingSimulator.solve_exact() missing 1 required positional argument: 'graph'"),
    (lambda: sim.QuditSimulator(1, 1).simulate(1), "QuditSimulator.simulate() takes no arguments (1 given)"),  # the interpreter's check
    (lambda: core.apply_rabi_correction(1.0, 0.0, **{"ra\x00bi": 1}), "apply_rabi_correction() got an unexpected keyword argument 'ra\x00bi'"),
])  # fmt: skip
def test_binding_messages(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


# --- conversion ----------------------------------------------------------------


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


Real = type("Real", (), {"__float__": lambda self: 0.25})


class BadLength:
    """A sequence whose length cannot be read: the items still convert."""

    def __len__(self):
        raise RuntimeError("no length")

    def __getitem__(self, k):
        if k < 2:
            return ((k, k), 1.0)
        raise IndexError(k)


class BadItems:
    def __len__(self):
        return 3

    def __getitem__(self, k):
        raise KeyError("broken iteration")


NulNamed = type("NulNamed", (), {"__qualname__": "Nul\x00Named"})


@pytest.mark.parametrize("call, expected", [
    # __index__ objects and bools are integers, ints and __float__ objects are floats
    (lambda: core.qubo_energy_spectrum([((Index(1), True), Index(2))], Index(2))[1], 0.0),
    (lambda: core.qubo_energy_spectrum([((0, 0), Real())], 1)[1], 0.0),
    (lambda: core.qubo_energy_spectrum(((type("T", (tuple,), {})((0, 0)), -1),), 1)[1], -1.0),  # tuples, subclasses too
    (lambda: core.qubo_energy_spectrum(BadLength(), 2)[0], [0, 0]),
    (lambda: sim.Variable(type("S", (str,), {})("x"), "d").name, "x"),
    (lambda: core.qubo_energy_spectrum(n_vars=1, qubo=[((0, 0), -1.0)]), ([1], -1.0, [-1.0, 0.0])),  # keywords
    (lambda: sim.Variable(domain="d", name="n").name, "n"),
])
def test_accepted_values(call, expected):
    assert call() == expected


# Messages keep NUL bytes too; the interpreter's own int and float messages are
# test_reads_refuse_what_the_interpreter_refuses's.
@pytest.mark.parametrize("call, exc, message", [
    (lambda: core.qubo_energy_spectrum("ab", 1), TypeError, "argument 'qubo': Can't extract `str` to `Vec`"),
    (lambda: core.qubo_energy_spectrum("ab", "y"), TypeError, "argument 'qubo': Can't extract `str` to `Vec`"),  # the first bad argument
    (lambda: core.qubo_energy_spectrum({}, 1), TypeError, "argument 'qubo': 'dict' object cannot be converted to 'Sequence'"),
    (lambda: core.qubo_energy_spectrum((x for x in []), 1), TypeError, "argument 'qubo': 'generator' object cannot be converted to 'Sequence'"),
    (lambda: core.qubo_energy_spectrum([[(0, 0), 1.0]], 1), TypeError, "argument 'qubo': 'list' object cannot be converted to 'PyTuple'"),
    (lambda: core.qubo_energy_spectrum([((0, 1, 2), 1.0)], 21), ValueError, "expected tuple of length 2, but got tuple of length 3"),  # before the size limit
    (lambda: core.qubo_energy_spectrum(BadItems(), 1), KeyError, "'broken iteration'"),
    (lambda: cutting.SubcircuitSampleCounts(0, "A", [("0", 1)], 1), TypeError, "argument 'counts': 'list' object cannot be converted to 'PyDict'"),
    # dict items convert in order, each key before its value
    (lambda: cutting.SubcircuitSampleCounts(0, "A", {"0": 1, "1": -1, 2: 1}, 1), OverflowError, "can't convert negative int to unsigned"),
    (lambda: cutting.SubcircuitSampleCounts(0, "A", {"0": 1, 2: -1, "1": -1}, 1), TypeError, "argument 'counts': 'int' object cannot be converted to 'PyString'"),
    (lambda: sim.Variable("\ud800", "d"), UnicodeEncodeError, None),
    (lambda: sim.LogicalGraph([], [sim.Variable("a", "b")]), TypeError, "argument 'interactions': 'Variable' object cannot be converted to 'Interaction'"),
    (lambda: core.run_statevector([("h\x00x", [0], [])], 2), ValueError, "'h\x00x' is not a single-qubit gate"),
    (lambda: sim.Variable(NulNamed(), "d"), TypeError, "argument 'name': 'Nul\x00Named' object cannot be converted to 'PyString'"),
    # every argument is converted before the size limits are checked
    (lambda: core.logical_failure_probability(27, [[1]], [0], "x"), TypeError, "argument 'physical_error_rate': must be real number, not str"),
    (lambda: ecc.build_surface_code(3, 4), TypeError, "build_surface_code() takes from 0 to 1 positional arguments but 2 were given"),
    (lambda: ecc.build_surface_code(3.0), TypeError, "argument 'distance': 'float' object cannot be interpreted as an integer"),
    (lambda: ecc.build_surface_code(-1), OverflowError, None),
    # sizes refused before anything is built: d² past 64 bits, 10^12 qubits, a byte count that overflows
    *[(lambda d=d: ecc.build_surface_code(d), MemoryError, None) for d in (2**32, 10**6)],
    *[(lambda n=n: core.qubo_criticality([((0, 1), 1.0)], n), MemoryError, None) for n in (2**40, 2**64 - 1)],
    *[(lambda d=d: ecc.select_patches([(0, 1.0)], 2**64 - 1, d), ValueError,
       f"distance {d} is too large: its patch needs more than 2^64 - 1 physical qubits") for d in (2**32, 2**64 - 1)],
])  # fmt: skip
def test_refused_values(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc
    if message is not None:
        assert str(info.value) == message


WeirdInt = type("WeirdInt", (int,), {"__index__": lambda self: 99, "__float__": lambda self: 0.5})


# Each argument kind read through the module and through the interpreter's own conversion: ints by operator.index,
# floats by math.ldexp (PyFloat_AsDouble).
READS = {
    "uint64": (lambda x: cutting.SampleCoefficient(x, 0.0).sample_index, operator.index, 2**64),
    "uint64 tuple item": (lambda x: [*core.apply_detuning_correction([0.0] * 300, [(x, 1.0)]), -1.0].index(-1.0), operator.index, 300),
    "uint8": (lambda x: core.simulate_qubo_runs([], [x], 1, 0.0, 0)[0][0][0], operator.index, 256),
    "double": (lambda x: cutting.SampleCoefficient(0, x).coefficient, lambda x: math.ldexp(x, 0), None),
    "double tuple item": (lambda x: -core.apply_detuning_correction([0.0], [(0, x)])[0], lambda x: math.ldexp(x, 0), None),
}  # fmt: skip
# Nonsense of every kind, and the objects stored right around the interpreter's table of small ints (negative ints
# before it; the empty bytes, one-byte bytes and one-character strings after it), which an in-place read must not take
# for ints.
ODD_OBJECTS = [b"", b"\x00", b"\x01", b"\xff", bytearray(b"\x01"), "", "a", "\x00", "\xff", (), (1,), [], None, object(),
               -1, -5, -6, 0, 1, 255, 256, 257, 2**63, 2**64 - 1, 2**64, True, False, WeirdInt(3), Index(7), Real(),
               0.0, -0.0, 1.0, 256.0, 0.5, float("inf"), 1j]  # fmt: skip


def _outcome(convert, x, limit=None):
    """What converting x gives: a value, or a refusal with the interpreter's
    own message (range errors compared by kind only)."""
    try:
        value = convert(x)
    except OverflowError:
        return OverflowError, None
    except (TypeError, ValueError) as exc:
        return type(exc), re.sub(r"^argument '\w+': ", "", str(exc))
    if limit is not None and not 0 <= value < limit:
        return OverflowError, None
    return "value", value


@pytest.mark.parametrize("kind", list(READS))
def test_reads_refuse_what_the_interpreter_refuses(kind):
    read, reference, limit = READS[kind]
    wrong = [(x, _outcome(read, x, limit), _outcome(reference, x, limit)) for x in ODD_OBJECTS]
    assert [w for w in wrong if w[1] != w[2]] == []


class Shrinker:
    """Converts to 1 or 1.5, emptying the list being converted as it does."""

    def __init__(self, victim):
        self.victim = victim

    def __index__(self):
        self.victim.clear()
        return 1

    def __float__(self):
        self.victim.clear()
        return 1.5


@pytest.mark.parametrize("call, make, stand_in", [
    (lambda lst: ecc.remap_circuit([("g", lst)], [])[0][1], lambda x: x, 1),
    (lambda lst: core.apply_detuning_correction(lst, []), lambda x: x, 1.5),
    (lambda lst: core.apply_coupling_correction(lst, []), lambda x: ((x, 0), 1.0), 1),
    (lambda lst: core.apply_coupling_correction(lst, []), lambda x: ((0, 0), x), 1.5),
    (lambda lst: core.vrp_qubo_terms(lst, 1.0, 1.0), lambda x: [x, 0.0], 1.5),
], ids=["ints", "floats", "term index", "term weight", "matrix rows"])  # fmt: skip
def test_a_list_emptied_while_converted_ends_there(call, make, stand_in):
    victim = []
    victim += [make(Shrinker(victim))] + [make(2)] * 3
    # as a for loop over the list sees it: the first item, then the end
    assert _outcome(call, victim) == _outcome(call, [make(stand_in)])


def test_only_plain_type_errors_get_the_argument_prefix():
    class Special(TypeError):
        pass

    class Broken:
        def __init__(self, error):
            self.error = error

        def __index__(self):
            raise self.error

    inner = TypeError("inner")
    inner.__cause__ = KeyError("root")
    with pytest.raises(TypeError) as info:
        core.qubo_energy_spectrum([], Broken(inner))
    assert str(info.value) == "argument 'n_vars': inner" and isinstance(info.value.__cause__, KeyError)
    with pytest.raises(Special, match="^as raised$"):  # subclasses pass unchanged
        core.qubo_energy_spectrum([], Broken(Special("as raised")))


def test_arguments_are_not_modified_and_results_are_new():
    qubo = [((0, 1), 1.0), ((1, 1), -1.0)]
    snapshot = repr(qubo)
    first, second = core.qubo_energy_spectrum(qubo, 2), core.qubo_energy_spectrum(qubo, 2)
    assert repr(qubo) == snapshot
    assert first == second and first[0] is not second[0] and first[2] is not second[2]


# --- errors -----------------------------------------------------------------------


def test_panic_and_size_violation_are_the_packages_classes(capfd):
    with pytest.raises(BaseException) as info:
        core.qubo_energy_spectrum([((0, 9), 1.0)], 2)
    assert (type(info.value).__name__, type(info.value).__bases__) == ("PanicException", (BaseException,))
    assert info.value.args == ("index out of bounds: the len is 2 but the index is 9",)
    err = capfd.readouterr().err
    assert "index out of bounds: the len is 2 but the index is 9" in err and ".cc:" in err
    with pytest.raises(SizeViolation) as info:
        core.qubo_energy_spectrum([], 21)
    assert info.value.args == ("SizeViolation: qubo_energy_spectrum requires n_vars <= 20",)


# What a child raises once it has broken the package's exception classes:
# its SizeViolation twice (each line starts so), and whether its panic is the
# class the package names (None: not checked).
BROKEN_PACKAGE = [
    ("", "SizeViolation: SizeViolation: qubo_energy_spectrum requires n_vars <= 20\n", True),  # the module makes the package's PanicException on first use
    ("named = tavik.exceptions.PanicException", None, True),  # the user names it first
    ("sys.modules['tavik.exceptions'] = None", "ImportError: cannot import tavik.exceptions.SizeViolation", False),
    ("del tavik.exceptions.SizeViolation", "ImportError: cannot import tavik.exceptions.SizeViolation", None),
    ("tavik.exceptions.SizeViolation = 3", "TypeError: tavik.exceptions.SizeViolation must be an exception class", None),
    ("tavik.exceptions.SizeViolation = type('T', (), {'__qualname__': 'T\\x00U'})()",
     "TypeError: tavik.exceptions.SizeViolation must be an exception class, not 'T\x00U'\n", None),
    ("tavik.exceptions.SizeViolation = dict", "TypeError: exceptions must derive from BaseException", None),
    ("tavik.exceptions.SizeViolation = KeyError", "KeyError: 'SizeViolation: qubo_energy_spectrum requires n_vars <= 20'", None),
    # The panic is then still a PanicException, of the module's own.
    ("tavik.exceptions.PanicException = 3", None, False),
    ("tavik.exceptions.PanicException = dict", None, False),
]  # fmt: skip


@pytest.mark.parametrize("setup, size_violation, panic_is_the_packages", BROKEN_PACKAGE)
def test_exception_classes_of_a_broken_package(setup, size_violation, panic_is_the_packages):
    result = run_child(
        f"""
        import sys
        import tavik.exceptions
        import tavik.tavik_core as core
        {setup}
        raised = []
        for call in [lambda: core.qubo_energy_spectrum([], 21)] * 2 + [lambda: core.qubo_energy_spectrum([((0, 3), 1.0)], 2)] * 2:
            try:
                call()
            except BaseException as exc:
                raised.append(exc)
        print(f"{{type(raised[0]).__name__}}: {{raised[0]}}", f"{{type(raised[1]).__name__}}: {{raised[1]}}", sep="\\n")
        cls = type(raised[2])
        print(type(raised[3]) is cls, cls.__module__, cls.__qualname__, cls.__bases__ == (BaseException,))
        print(vars(tavik.exceptions).get("PanicException") is cls)
        """
    )
    lines = result.stdout.splitlines(keepends=True)
    assert len(lines) == 4, result.stdout + result.stderr
    assert size_violation is None or all(line.startswith(size_violation) for line in lines[:2]), result.stdout
    assert lines[2] == "True tavik.tavik_core PanicException True\n"
    assert panic_is_the_packages is None or lines[3] == f"{panic_is_the_packages}\n"


# Results that cannot fit beside what the process already holds, refused in a child with nothing allocated, under the
# limit given: an rlimit, or the machine's physical memory seen as that many bytes. Each row: limit, setup, call.
TOO_BIG_FOR_THE_PROCESS = [
    (None, "", "ta.simulate_qubo_runs([], np.zeros(4, np.uint8), 2**62, 0.1, 1)"),
    (("RLIMIT_AS", 2**30), "", "core.simulate_qubo_runs([], [0] * 8, 2 * 10**7, 0.5, 1)"),
    (("RLIMIT_DATA", 2**30), "", "core.run_statevector([], 24)"),  # 256 MiB of state, 2 GiB of tuples
    (("RLIMIT_DATA", 2**30), "", "core.ecc.build_surface_code(5000)"),
    (("RLIMIT_DATA", 2**30), "", "core.vrp_qubo_terms([[1.0] * 200] * 200, 1.0, 1.0)"),
    (("physical", 2**30), "", "ta.simulate_qubo_runs([], np.zeros(16, np.uint8), 5 * 10**7, 0.1, 1)"),
    (("physical", 2**27), "", "ta.run_statevector([], 24)"),
    (("physical", 2**30), "p = np.full(7 * 10**7, 0.1)",  # 560 MB of rates, as much again for the results
     "ta.logical_failure_probability(3, [[0, 1], [1, 2]], [0], p)"),
    (("physical", 2**30), "", "ta.vrp_qubo_matrix(np.ones((120, 120)), 1.0, 1.0)"),
]


@pytest.mark.parametrize("limit, setup, call", TOO_BIG_FOR_THE_PROCESS)
def test_results_beyond_the_memory_the_process_may_use_are_refused_up_front(cpu_shim, limit, setup, call):
    kind, size = limit or (None, None)
    if kind and kind.startswith("RLIMIT") and "libasan" in os.environ.get("LD_PRELOAD", ""):
        pytest.skip("the sanitizer's shadow memory does not fit under such a limit")
    code = textwrap.dedent(f"""
        import resource
        if {kind!r} and {kind!r}.startswith("RLIMIT"):
            kind = getattr(resource, {kind!r})
            resource.setrlimit(kind, ({size}, resource.getrlimit(kind)[1]))
            if resource.getrlimit(kind)[0] != {size}:
                raise SystemExit("not applied")
        import numpy as np
        import tavik.arrays as ta
        import tavik.tavik_core as core
        {setup}
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        try:
            {call}
        except MemoryError:
            print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before)
    """)
    physical = kind == "physical"
    result = run_child(code, preload=cpu_shim if physical else None, env={"SHIM_PHYS_BYTES": str(size)} if physical else {})
    if result.stderr == "not applied\n":
        pytest.skip("this machine does not apply the limit (an emulator keeps it for itself)")
    assert (result.returncode, result.stderr) == (0, "")
    assert int(result.stdout) < 32 * 1024  # KiB of resident memory: nothing was built first


# --- record classes -------------------------------------------------------------


CLASSES = core_classes()
RECORDS = records()


@pytest.mark.parametrize("path", CLASSES)
def test_record_class_conventions(path):
    cls, name = CLASSES[path], path.rpartition(".")[2]
    getters = [a for a, d in vars(cls).items() if inspect.isgetsetdescriptor(d)]
    # A replaced __new__ would let object.__new__ make an instance whose native value was never constructed.
    for attribute in ["__new__", "__init__", "__repr__", "colour", *getters[:1]]:
        with pytest.raises(TypeError, match="immutable type"):
            setattr(cls, attribute, lambda c, *a, **k: object.__new__(c))
        with pytest.raises(TypeError, match="immutable type"):
            delattr(cls, attribute)
    with pytest.raises(TypeError, match="is not safe"):
        object.__new__(cls)
    if cls.__text_signature__ is None:
        for make_one in [cls, lambda: cls.__new__(cls)]:
            with pytest.raises(TypeError, match=f"^No constructor defined for {name}$"):
                make_one()
    make = RECORDS[path]
    make()
    before = sys.getrefcount(cls)
    for _ in range(100):  # freed instances release their class
        make()
    assert sys.getrefcount(cls) == before
    obj = make()
    with pytest.raises(AttributeError):
        obj.colour = "red"
    with pytest.raises(TypeError):
        weakref.ref(obj)
    # The interpreter's own reductions would rebuild through __new__; tavik registers checked ones instead
    # (test_pickling).
    for protocol in [1, 2]:
        with pytest.raises(TypeError, match="cannot pickle"):
            obj.__reduce_ex__(protocol)
    with pytest.raises(TypeError):
        obj.__class__ = core.StackelbergSolver if cls is not core.StackelbergSolver else sim.IsingSimulator
    for attribute in getters:
        value = getattr(obj, attribute)
        if isinstance(value, (list, dict)):
            assert getattr(obj, attribute) is not value  # every read is a fresh copy
        if path in WRITABLE:
            with pytest.raises(AttributeError, match="^can't delete attribute$"):
                delattr(obj, attribute)
        else:
            with pytest.raises(AttributeError):
                setattr(obj, attribute, value)


def test_writable_attributes_convert_like_arguments_and_hold_copies():
    a = sim.Variable("a", "spin")
    with pytest.raises(TypeError) as info:
        a.name = 3
    assert str(info.value) == "argument 'name': 'int' object cannot be converted to 'PyString'"
    assert a.name == "a"  # a refused value leaves the field as it was
    i = sim.Interaction("a", "b", 1.0)
    i.weight = 2  # an int is a float
    assert i.weight == 2.0 and type(i.weight) is float
    g = sim.LogicalGraph([a], [i])
    a.name = "changed"
    g.variables.append(sim.Variable("b", "spin"))
    g.variables[0].name = "also changed"
    assert [v.name for v in g.variables] == ["a"]
    assert g.variables is not g.variables and g.variables[0] is not g.variables[0]
    g.variables = [sim.Variable("x", "spin"), sim.Variable("y", "spin")]
    assert [v.name for v in g.variables] == ["x", "y"]
    with pytest.raises(TypeError, match="^argument 'interactions': 'Variable' object cannot be converted to 'Interaction'$"):
        g.interactions = [a]


@pytest.mark.parametrize("call, args", [
    (core.build_ecc_lookup_table, (14, [[q] for q in range(14)])),  # 2^14 rows, each two lists
    (lambda patch: patch.x_stabilizers, (ecc.build_surface_code(61),)),  # 1,800 lists
], ids=["lookup table", "attribute"])
def test_results_are_built_without_a_collection(call, args):
    collections = []
    threshold = gc.get_threshold()
    gc.collect()
    gc.callbacks.append(lambda phase, info: collections.append(phase))
    gc.set_threshold(100)  # a collection every hundred new containers, unless paused
    try:
        result = call(*args)
        during = len(collections)
    finally:
        gc.set_threshold(*threshold)
        gc.callbacks.pop()
    assert during == 0 and len(result) > 1000 and gc.isenabled()


# Binding descriptors that cannot work are refused by the compiler: before, each of these compiled, and the first two
# crashed on a call that left y out.
@pytest.mark.parametrize("params, signature, error", [
    ("std::uint64_t x, std::optional<std::uint64_t> y", "f(x, y=1)", None),
    ("std::uint64_t x, std::uint64_t y", "f(x, y=1)", "must be a std::optional in the kernel"),
    ("std::optional<std::uint64_t> x, std::uint64_t y", "f(x=1, y)", "parameters with defaults come last"),
    ("Unknown u, double y", "f(u, y)", "no conversion between Python and this C++ type"),
])  # fmt: skip
def test_binding_descriptors_are_checked_at_compile_time(tmp_path, params, signature, error):
    compiler = shutil.which("c++")
    source = os.path.join(os.path.dirname(__file__), os.pardir, "src")
    if compiler is None or not os.path.isdir(source):
        pytest.skip("needs a C++ compiler and the source tree")
    (tmp_path / "binding.cc").write_text(textwrap.dedent(f"""
        #include <optional>
        #include "py/module.h"
        struct Unknown {{}};
        double kernel({params}) {{ return 0; }}
        void add(tavik::py::Module& m) {{ m.def<&kernel, "{signature}">(""); }}
    """))
    result = subprocess.run([compiler, "-std=c++20", "-fsyntax-only", "-I", source,
                             "-I", sysconfig.get_paths()["include"], tmp_path / "binding.cc"],
                            capture_output=True, text=True)  # fmt: skip
    if error is None:
        assert (result.returncode, result.stderr) == (0, "")
    else:
        assert result.returncode != 0 and "static assertion failed" in result.stderr and error in result.stderr
