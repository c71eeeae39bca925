"""Bit-exact comparison of floats and nested results: signed zeros count,
NaNs compare by position (their payloads are not part of the contract)."""

from reference.failures import Failure


def key(value):
    if isinstance(value, float):
        return "nan" if value != value else value.hex()
    if isinstance(value, (list, tuple)):
        return type(value)(key(v) for v in value)
    return value


def assert_exact(actual, expected):
    assert key(actual) == key(expected)


def kind_of(exc):
    name = type(exc).__name__
    return "Panic" if name == "PanicException" else name


def outcome(call):
    """("ok", result) or (kind, message) of a call to the module."""
    try:
        return "ok", key(call())
    except (ValueError, TypeError, OverflowError) as exc:
        return kind_of(exc), str(exc)
    except BaseException as exc:  # noqa: BLE001 - PanicException derives from BaseException
        if kind_of(exc) != "Panic":
            raise
        return "Panic", exc.args[0]


def reference_outcome(call):
    try:
        return "ok", key(call())
    except Failure as failure:
        return failure.kind, failure.message
