"""Pickling and copying of every record class, across processes too, and the checks that keep a corrupted or crafted
pickle from making a record; every function and method pickles by reference, other builtins as they always did."""

import copy
import copyreg
import inspect
import io
import math
import multiprocessing
import pickle
import types
from concurrent.futures import ProcessPoolExecutor
from multiprocessing import reduction

import pytest

import tavik.tavik_core as core
from support import bits, core_classes, records
from tavik._pickling import _function, _rebuild, _register, _state

sim, analog, ecc, cutting = core.sim, core.analog, core.ecc, core.cutting
NAN = float("nan")


RECORDS = records()
CLASSES = core_classes()


def all_functions():
    """Every function of the module and every callable in a class's dict (methods, __new__, slots such as __repr__),
    by path: "exact_ising_norm", "ecc.build_surface_code", "sim.IsingSimulator.solve_exact"."""
    found = {}
    for prefix, module in [("", core)] + [(f"{m.__name__}.", m) for m in (sim, analog, ecc, cutting)]:
        found.update({prefix + name: v for name, v in vars(module).items() if isinstance(v, types.BuiltinFunctionType)})
    for path, cls in CLASSES.items():
        found.update({f"{path}.{attr}": m for attr, m in vars(cls).items() if callable(m)})
    return found


FUNCTIONS = all_functions()


def snapshot(value):
    """All a record shows: its class, every attribute and its native state (fields without a getter included), records
    within alike, floats bit for bit, dicts in order."""
    cls = type(value)
    if cls in CLASSES.values():
        getters = {name: snapshot(getattr(value, name))
                   for name, d in vars(cls).items() if inspect.isgetsetdescriptor(d)}  # fmt: skip
        return cls, getters, snapshot(_state(value))
    if isinstance(value, (list, tuple)):
        return type(value)(snapshot(v) for v in value)
    if isinstance(value, dict):
        return [(k, snapshot(v)) for k, v in value.items()]
    return bits(value)


WAYS = {f"pickle protocol {p}": (lambda r, p=p: pickle.loads(pickle.dumps(r, p)))
        for p in range(pickle.HIGHEST_PROTOCOL + 1)} | {"copy": copy.copy, "deepcopy": copy.deepcopy}  # fmt: skip


@pytest.mark.parametrize("name", RECORDS)
def test_records_pickle_and_copy(name):
    record = RECORDS[name]()
    expected = snapshot(record)
    for way, duplicate in WAYS.items():
        twin = duplicate(record)
        assert twin is not record and snapshot(twin) == expected, way
    assert b"tavik._pickling" in pickle.dumps(record, 0)  # the rebuild function, not the class (which pickle cannot find)


def test_records_cross_a_process_pool():
    records = [make() for make in RECORDS.values()]
    with ProcessPoolExecutor(1, mp_context=multiprocessing.get_context("spawn")) as executor:
        # A fresh interpreter: unpickling the records is what imports tavik.
        assert executor.submit(eval, "'tavik' in __import__('sys').modules").result() is False
        back = list(executor.map(copy.deepcopy, records + list(FUNCTIONS.values())))
    assert [snapshot(r) for r in back[: len(records)]] == [snapshot(r) for r in records]
    assert all(a is b for a, b in zip(back[len(records) :], FUNCTIONS.values(), strict=True))


PATCH = _state(ecc.build_surface_code(3))


def patch(**changes):
    fields = dict(zip(["distance", "data_qubits", "x_stabilizers", "z_stabilizers", "logical_x", "logical_z"], PATCH))
    return tuple((fields | changes).values())


# What a pickle may carry instead of a record's state: (class path, state, exception, message).
CORRUPTED = [
    ("sim.Nope", (), ValueError, r"^'sim\.Nope' names no record class of tavik\.tavik_core$"),
    # the last one unhashable
    *[(path, ("a", "b"), ValueError, "names no record class") for path in ("Variable", ("sim", "Variable"), ["sim", "Variable"])],
    ("sim.Variable", ["a", "b"], TypeError, r"^Variable state: must be a tuple, not 'list'$"),
    ("sim.Variable", ("a",), ValueError, r"^Variable state: must have 2 items \(name, domain\), not 1$"),
    ("sim.IsingSimulator", (None,), ValueError, r"^IsingSimulator state: must have 0 items \(\), not 1$"),
    ("sim.Interaction", ("a", "b", "c"), TypeError, r"^Interaction\.weight: must be real number, not str$"),
    # Wrong types and values out of range, checked as the constructors check them.
    ("sim.Variable", (1, "spin"), TypeError, r"^Variable\.name: 'int' object cannot be converted to 'PyString'$"),
    ("sim.Variable", ("\ud800", "spin"), ValueError, r"^Variable\.name: 'utf-8' codec can't encode"),
    ("sim.LogicalGraph", ([("a", "spin")], []), TypeError,
     r"^LogicalGraph\.variables: 'tuple' object cannot be converted to 'Variable'$"),
    ("sim.QuditSimulator", (3, 2**64), ValueError, r"^QuditSimulator\.num_sites: int too big to convert$"),
    ("cutting.SubcircuitSampleCounts", (0, "A", {"0": -1}, 1), ValueError,
     r"^SubcircuitSampleCounts\.counts: can't convert negative int to unsigned$"),
    # Records that the functions making them cannot produce.
    *[("EquilibriumScore", (k, 0.5, 1.0, 0, 0.0), ValueError, r"^EquilibriumScore\.kappa: must lie in \[0, 1\]") for k in (1.5, -0.1)],
    ("EquilibriumScore", (0.5, NAN, 1.0, 0, 0.0), ValueError, r"^EquilibriumScore\.kappa: must be NaN where"),
    *[("EquilibriumScore", state, ValueError, r"^EquilibriumScore\.kappa: a NaN κ comes only from")
      for state in [(NAN, 0.5, 1.0, 1, 0.0), (NAN, 0.5, 1.0, 0, 0.25)]],
    *[("EquilibriumScore", (0.5, 0.5, gap, 0, 0.0), ValueError, r"^EquilibriumScore\.energy_gap: must be an absolute value, >= 0 or NaN$")
      for gap in (-1.0, -0.0)],
    *[("EquilibriumScore", (0.5, 0.5, 1.0, 0, std), ValueError, r"^EquilibriumScore\.kappa_std: must lie in \[0, 1\]$")
      for std in (1.5, NAN, -0.0)],
    *[("ecc.PatchAssignment", (4, d, 0, 0), ValueError, r"^PatchAssignment\.distance: must be at least 1 with a square")
      for d in (0, 2**32)],
    ("ecc.PatchAssignment", (4, 3, 1, 10), ValueError, r"^PatchAssignment\.physical_start: must be a multiple of .*\(9\)$"),
    # Ends that are not start + distance², the last two wrapping past 2^64 (to start + distance² modulo 2^64).
    *[("ecc.PatchAssignment", (4, 3, start, end), ValueError, r"^PatchAssignment\.physical_end: must be physical_start \+ ")
      for start, end in [(0, 10), (9, 0), ((2**64 - 1) // 9 * 9, 2**64 - 1), ((2**64 - 1) // 9 * 9, 2)]],
    ("ecc.SurfaceCodePatch", patch(distance=4), ValueError,
     r"^SurfaceCodePatch\.data_qubits: not that of the patch of distance 4$"),
    ("ecc.SurfaceCodePatch", patch(distance=2**32), ValueError, r"^SurfaceCodePatch\.data_qubits: "),
    ("ecc.SurfaceCodePatch", patch(data_qubits=list(range(8, -1, -1))), ValueError, r"^SurfaceCodePatch\.data_qubits: "),
    ("ecc.SurfaceCodePatch", patch(x_stabilizers=PATCH[2][::-1]), ValueError, r"^SurfaceCodePatch\.x_stabilizers: "),
    ("ecc.SurfaceCodePatch", patch(z_stabilizers=PATCH[3][:-1]), ValueError, r"^SurfaceCodePatch\.z_stabilizers: "),
    ("ecc.SurfaceCodePatch", patch(logical_x=PATCH[5]), ValueError, r"^SurfaceCodePatch\.logical_x: "),
    ("ecc.SurfaceCodePatch", patch(logical_z=[0, 3, 7]), ValueError, r"^SurfaceCodePatch\.logical_z: "),
    ("ecc.SurfaceCodePatch", patch(x_stabilizers=[[-1]]), ValueError,
     r"^SurfaceCodePatch\.x_stabilizers: can't convert negative int to unsigned$"),
    *[("analog.SpatialCoordinates", xy, ValueError, rf"^SpatialCoordinates\.{'x' if xy[1] == 0 else 'y'}: must be a lattice coordinate")
      for xy in [(2.5, 0.0), (0.0, -5.0), (-0.0, 0.0), (NAN, 0.0), (0.0, float("inf")), (5.0 * 2**32, 0.0)]],
]  # fmt: skip


@pytest.mark.parametrize(("path", "state", "error", "message"), CORRUPTED)
def test_corrupted_states_raise(path, state, error, message):
    with pytest.raises(error, match=message):
        _rebuild(path, state)


def test_the_edges_of_what_functions_produce_rebuild():
    largest = (2**64 - 1) // 9 * 9 - 9
    for path, state in [("EquilibriumScore", (NAN, NAN, NAN, 0, 0.0)), ("EquilibriumScore", (1.0, 0.0, float("inf"), 2**64 - 1, 1.0)),
                        ("ecc.PatchAssignment", (2**64 - 1, 3, largest, largest + 9)),
                        ("ecc.PatchAssignment", (0, 2**32 - 1, 0, (2**32 - 1) ** 2)),
                        ("analog.SpatialCoordinates", (5.0 * (2**32 - 1), 0.0))]:  # fmt: skip
        assert bits(_state(_rebuild(path, state))) == bits(state)


class Forged:
    """Pickles as the given reduce value: a crafted pickle."""

    def __init__(self, reduced):
        self.reduced = reduced

    def __reduce__(self):
        return self.reduced


@pytest.mark.parametrize(("forged", "error", "message"), [
    ((_rebuild, ("ecc.PatchAssignment", (4, 3, 0, 10))), ValueError, r"^PatchAssignment\.physical_end: "),
    ((_rebuild, ("sim.LogicalGraph", ([Forged((_rebuild, ("sim.Variable", ("a", 1))))], []))), TypeError,
     r"^Variable\.domain: "),
    # Paths to what is not a function or method of the module.
    ((_function, ("os.system",)), ValueError, r"^'os\.system' names no function or method of tavik\.tavik_core$"),
    ((_function, ("sim.Variable",)), ValueError, "names no function or method"),
    ((_function, ("sim.Variable.__class__",)), ValueError, "names no function or method"),
    ((_function, ("ecc.build_surface_code.__self__",)), ValueError, "names no function or method"),
    ((_function, (["ecc", "build_surface_code"],)), ValueError, "names no function or method"),  # unhashable
])  # fmt: skip
def test_crafted_pickles_raise(forged, error, message):
    with pytest.raises(error, match=message):
        pickle.loads(pickle.dumps(Forged(forged)))


@pytest.mark.parametrize("name", RECORDS)
def test_no_way_around_the_checks(name):
    record = RECORDS[name]()
    path = next(path for path, cls in CLASSES.items() if cls is type(record))
    # Whatever the class, items of no field's type make no record ...
    if arity := len(_state(record)):
        with pytest.raises(TypeError):
            _rebuild(path, (object(),) * arity)
    # ... and no pickle can name the class itself to reach its __new__.
    with pytest.raises(AttributeError, match=type(record).__name__):
        pickle.loads(f"cbuiltins\n{type(record).__name__}\n.".encode())


@pytest.mark.parametrize("path", FUNCTIONS)
def test_functions_and_methods_pickle_by_reference(path):
    # Dask, if a test module has loaded it, replaced the reducer of method descriptors: the sweeps put the package's
    # back as they start, as here.
    _register()
    function = FUNCTIONS[path]
    for way, duplicate in WAYS.items():
        assert duplicate(function) is function, way


def test_a_reducer_registered_later_serves_all_but_the_core(monkeypatch):
    served = []

    def theirs(method):  # as Dask registers one as it loads
        served.append(method)
        return getattr, (method.__objclass__, method.__name__)

    monkeypatch.setitem(copyreg.dispatch_table, types.MethodDescriptorType, theirs)
    with pytest.raises(pickle.PicklingError):
        pickle.dumps(sim.IsingSimulator.solve_exact)
    _register()
    assert pickle.loads(pickle.dumps(sim.IsingSimulator.solve_exact)) is sim.IsingSimulator.solve_exact
    assert pickle.loads(pickle.dumps(str.join)) is str.join and served == [sim.IsingSimulator.solve_exact, str.join]


def test_bound_methods_pickle_with_their_record():
    for make in RECORDS.values():
        record = make()
        for attr, member in vars(type(record)).items():
            if isinstance(member, (types.MethodDescriptorType, types.WrapperDescriptorType)):
                for way, duplicate in WAYS.items():
                    twin = duplicate(getattr(record, attr))
                    assert twin.__name__ == attr and snapshot(twin.__self__) == snapshot(record), way
    # ... and work: the solver's state came along.
    solver = core.StackelbergSolver(0.5, 3, 0.25)
    args = [0.5, 0.9], [0.0, 0.0], [1.0, 5.0], [0.1, 0.0], 2.0
    for way, duplicate in WAYS.items():
        assert snapshot(duplicate(solver.solve)(*args)) == snapshot(solver.solve(*args)), way


# Builtins of every type the package registers a reducer for (functions, bound builtin methods, method and slot
# descriptors), and one it does not.
OTHER_BUILTINS = [len, math.sqrt, "-".join, dict.fromkeys, str.join, object.__init__, int.__add__, (5).__add__]


@pytest.mark.parametrize("pickler", [pickle.Pickler, pickle._Pickler, reduction.ForkingPickler],
                         ids=["C", "Python", "multiprocessing"])  # fmt: skip
def test_other_builtins_pickle_as_they_did_without_the_package(monkeypatch, pickler):
    def dumps(value, protocol):
        out = io.BytesIO()
        pickler(out, protocol).dump(value)
        return out.getvalue()

    protocols = range(pickle.HIGHEST_PROTOCOL + 1)
    ours = [dumps(value, p) for value in OTHER_BUILTINS for p in protocols]
    for cls in (types.BuiltinFunctionType, types.MethodDescriptorType, types.WrapperDescriptorType):
        monkeypatch.delitem(copyreg.dispatch_table, cls, raising=False)
    monkeypatch.setattr(reduction.ForkingPickler, "_extra_reducers", reduction.ForkingPickler._extra_reducers | {
        cls: reduction._reduce_method_descriptor for cls in (types.MethodDescriptorType, types.WrapperDescriptorType)})
    assert ours == [dumps(value, p) for value in OTHER_BUILTINS for p in protocols]
    assert [pickle.loads(data) for data in ours[:: len(protocols)]] == OTHER_BUILTINS
