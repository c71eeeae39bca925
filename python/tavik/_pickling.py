"""Pickling and copying of the records of :mod:`tavik.tavik_core`.

The record classes keep ``builtins`` as their module, so pickle cannot find them by name.
Each is registered here with :mod:`copyreg` instead: a record reduces to
``_rebuild(path, state)``, where ``path`` names its class within the core
(``"EquilibriumScore"``, ``"sim.Variable"``) and ``state`` is the tuple of its fields.
Rebuilding checks the state as the class's constructor checks its arguments or, for a class
without one, accepts only what the functions making its instances can produce, so a
corrupted or crafted pickle raises ``TypeError`` or ``ValueError``. :func:`copy.copy` and
:func:`copy.deepcopy` go the same way.
"""

import copyreg
import sys
from collections.abc import Callable
from types import ModuleType

from . import tavik_core

# Made by the extension as it loads; the only way into a record's native state.
_native = sys.modules["tavik._record_state"]
_state: Callable[[object], tuple[object, ...]] = _native.state
_rebuild_checked: Callable[[type[object], object], object] = _native.rebuild


def _record_classes() -> dict[str, type[object]]:
    classes: dict[str, type[object]] = {}
    for name in tavik_core.__all__:
        value = getattr(tavik_core, name)
        if isinstance(value, ModuleType):
            for inner in value.__all__:
                if isinstance(cls := getattr(value, inner), type):
                    classes[f"{name}.{inner}"] = cls
        elif isinstance(value, type):
            classes[name] = value
    return classes


_CLASSES = _record_classes()
_PATHS = {cls: path for path, cls in _CLASSES.items()}


def _rebuild(path: object, state: object) -> object:
    """The record of class ``path`` with the fields ``state``, checked: both come from
    whatever pickle is being loaded."""
    cls = _CLASSES.get(path) if isinstance(path, str) else None
    if cls is None:
        raise ValueError(f"{path!r} names no record class of tavik.tavik_core")
    return _rebuild_checked(cls, state)


def _reduce(record: object) -> tuple[Callable[[object, object], object], tuple[str, tuple[object, ...]]]:
    return _rebuild, (_PATHS[type(record)], _state(record))


for _cls in _CLASSES.values():
    copyreg.pickle(_cls, _reduce)
