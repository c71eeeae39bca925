"""Arbitrary Python objects thrown at every parameter of every entry point (functions, constructors, methods and
attribute setters): only the documented exception kinds may come out, never a crash or a hang."""

import inspect

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from support import SUBMODULES, core_classes, records

import tavik.tavik_core as core

# A valid instance of each class, to reach its methods and setters and to appear among the arbitrary objects.
INSTANCES = records()
CLASSES = core_classes()
ALLOWED = (TypeError, ValueError, OverflowError, MemoryError)  # SizeViolation and UnicodeEncodeError are ValueErrors


def _entry_points():
    for module in [core, *(getattr(core, name) for name in SUBMODULES)]:
        for name in module.__all__:
            obj = getattr(module, name)
            if not isinstance(obj, type) and not inspect.ismodule(obj):
                yield pytest.param(obj, list(inspect.signature(obj).parameters), id=name)
    for path, cls in CLASSES.items():
        if cls.__text_signature__ is not None:
            yield pytest.param(cls, list(inspect.signature(cls).parameters), id=f"{path}()")
        for attr, member in vars(cls).items():
            if callable(member) and getattr(member, "__text_signature__", None) and not attr.startswith("__"):
                bound = getattr(INSTANCES[path](), attr)
                yield pytest.param(bound, list(inspect.signature(bound).parameters), id=f"{path}.{attr}")


scalars = (st.none() | st.booleans() | st.integers(-3, 12)
           | st.sampled_from([255, 256, 2**63 - 1, 2**63, 2**64, -(2**63) - 1, 2**200]) | st.floats() | st.text(max_size=4)
           | st.just("\ud800") | st.binary(max_size=4) | st.builds(object)
           | st.sampled_from(list(INSTANCES)).map(lambda name: INSTANCES[name]()))
objects = st.recursive(scalars, lambda children: st.lists(children, max_size=4) | st.tuples(children)
                       | st.tuples(children, children) | st.tuples(children, children, children)
                       | st.dictionaries(st.text(max_size=3), children, max_size=3)
                       | st.frozensets(st.integers(0, 3), max_size=3), max_leaves=10)

fuzz_settings = settings(max_examples=80, deadline=None, suppress_health_check=list(HealthCheck))


@pytest.mark.parametrize("func, params", list(_entry_points()))
@fuzz_settings
@given(data=st.data())
def test_entry_point_refuses_arbitrary_objects_cleanly(func, params, data):
    args = [data.draw(objects, label=p) for p in params]
    cut = data.draw(st.integers(0, len(params)), label="positional count")  # the rest go by keyword
    try:
        func(*args[:cut], **dict(zip(params[cut:], args[cut:])))
    except ALLOWED:
        pass
    except BaseException as exc:  # noqa: BLE001
        if type(exc).__name__ != "PanicException":
            raise


@pytest.mark.parametrize("path, attr", [(p, a) for p, c in CLASSES.items() for a, m in vars(c).items()
                                        if inspect.isgetsetdescriptor(m)])  # fmt: skip
@fuzz_settings
@given(value=objects)
def test_attribute_assignment_refuses_arbitrary_objects_cleanly(path, attr, value):
    obj = INSTANCES[path]()
    try:
        setattr(obj, attr, value)
    except (AttributeError, *ALLOWED):  # AttributeError: read-only attributes
        pass
    getattr(obj, attr)  # whatever happened, the record is still readable
