"""Pickling and copying of the records, functions and methods of :mod:`tavik.tavik_core`.

The record classes keep ``builtins`` as their module, so pickle cannot find them by name.
Each is registered here with :mod:`copyreg` instead: a record reduces to
``_rebuild(path, state)``, where ``path`` names its class within the core
(``"EquilibriumScore"``, ``"sim.Variable"``) and ``state`` is the tuple of its fields.
Rebuilding checks the state as the class's constructor checks its arguments or, for a class
without one, accepts only what the functions making its instances can produce, so a
corrupted or crafted pickle raises ``TypeError`` or ``ValueError``. :func:`copy.copy` and
:func:`copy.deepcopy` go the same way.

Functions and methods pickle by reference, so that any of them can be a task on another
process: the submodules' functions name a module (``ecc``) that cannot be imported, and
the methods a class that pickle cannot find. Each reduces to ``_function(path)``, ``path``
naming it within the core (``"exact_ising_norm"``, ``"ecc.build_surface_code"``,
``"sim.IsingSimulator.solve_exact"``); a path that names none raises ``ValueError``. A
method bound to a record pickles as before, as the record and the method's name.
"""

import copyreg
import io
import sys
import types
from collections.abc import Callable
from typing import Any
from multiprocessing.reduction import ForkingPickler

from . import tavik_core

# Made by the extension as it loads; the only way into a record's native state.
_native = sys.modules["tavik._record_state"]
_state: Callable[[object], tuple[object, ...]] = _native.state
_rebuild_checked: Callable[[type[object], object], object] = _native.rebuild


def _members() -> dict[str, object]:
    """Every name the core shows, by its path: "EquilibriumScore", "sim.Variable"."""
    members: dict[str, object] = {}
    for name in tavik_core.__all__:
        value = getattr(tavik_core, name)
        if isinstance(value, types.ModuleType):
            members.update({f"{name}.{inner}": getattr(value, inner) for inner in value.__all__})
        else:
            members[name] = value
    return members


_MEMBERS = _members()
_CLASSES: dict[str, type[object]] = {path: value for path, value in _MEMBERS.items() if isinstance(value, type)}
_PATHS = {cls: path for path, cls in _CLASSES.items()}

# What a class's dict holds that can be called: __new__ and the methods
# (builtin functions and method descriptors) and slots such as __repr__
# (wrapper descriptors). The same types serve every builtin, so their
# reducers below hand anything not of the core back to the type's own.
_FUNCTION_TYPES = (types.BuiltinFunctionType, types.MethodDescriptorType, types.WrapperDescriptorType)
_FUNCTIONS: dict[str, object] = {
    path: value for path, value in _MEMBERS.items() if isinstance(value, types.BuiltinFunctionType)
} | {
    f"{path}.{name}": member
    for path, cls in _CLASSES.items()
    for name, member in vars(cls).items()
    if isinstance(member, _FUNCTION_TYPES)
}
# By identity: a builtin method's hash and == go by what it is bound to. The
# table keeps every one of them alive, so no other object can share an id.
_FUNCTION_PATHS = {id(function): path for path, function in _FUNCTIONS.items()}


def _rebuild(path: object, state: object) -> object:
    """The record of class ``path`` with the fields ``state``, checked: both come from
    whatever pickle is being loaded."""
    cls = _CLASSES.get(path) if isinstance(path, str) else None
    if cls is None:
        raise ValueError(f"{path!r} names no record class of tavik.tavik_core")
    return _rebuild_checked(cls, state)


def _reduce(record: object) -> tuple[Callable[[object, object], object], tuple[str, tuple[object, ...]]]:
    return _rebuild, (_PATHS[type(record)], _state(record))


def _function(path: object) -> object:
    """The function or method ``path`` names: it comes from whatever pickle is being loaded."""
    function = _FUNCTIONS.get(path) if isinstance(path, str) else None
    if function is None:
        raise ValueError(f"{path!r} names no function or method of tavik.tavik_core")
    return function


class _FunctionReducer:
    """The reducer of one of _FUNCTION_TYPES: a path for the core's, and for
    anything else `other`, the reducer registered before, or else the object's
    own __reduce__, which pickle calls when none is registered (none of these
    types defines __reduce_ex__, and their __reduce__ takes no protocol)."""

    def __init__(self, other: Callable[[Any], Any] | None) -> None:
        self.other = other

    def __call__(self, function: object) -> Any:
        path = _FUNCTION_PATHS.get(id(function))
        if path is not None:
            return _function, (path,)
        return self.other(function) if self.other is not None else function.__reduce__()


def _register() -> None:
    """Put the reducers of functions and methods over any registered since,
    which then serve everything else. Dask registers one for all method
    descriptors as it loads; tavik.sweep calls this once it has loaded Dask."""
    for function_type in _FUNCTION_TYPES:
        current = copyreg.dispatch_table.get(function_type)
        if not isinstance(current, _FunctionReducer):
            copyreg.pickle(function_type, _FunctionReducer(current))
    # multiprocessing's pickler (process pools) puts reducers of its own for
    # method and slot descriptors over copyreg's.
    forking = ForkingPickler(io.BytesIO()).dispatch_table
    for function_type in _FUNCTION_TYPES:
        current = forking[function_type]
        if not isinstance(current, _FunctionReducer):
            ForkingPickler.register(function_type, _FunctionReducer(current))


for _cls in _CLASSES.values():
    copyreg.pickle(_cls, _reduce)
_register()
