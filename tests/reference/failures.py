"""The failures the module raises, as the reference models report them, and
the outcome of a call to either, compared bit for bit."""

from support import bits


class Failure(Exception):
    """args are (kind, message): kind is "ValueError", "SizeViolation", "OverflowError" or "Panic"."""


def out_of_bounds(length, index):
    return Failure("Panic", f"index out of bounds: the len is {length} but the index is {index}")


def outcome(call):
    """("ok", bits(result)) or (kind, message) of a call to the module or a reference model."""
    try:
        return "ok", bits(call())
    except Failure as failure:
        return failure.args
    except (ValueError, TypeError, OverflowError) as exc:
        return type(exc).__name__, str(exc)
    except BaseException as exc:  # noqa: BLE001 - PanicException derives from BaseException
        if type(exc).__name__ != "PanicException":
            raise
        return "Panic", exc.args[0]
