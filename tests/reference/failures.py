"""The failures the module raises, as the reference models report them, and
the outcome of a call to either, compared bit for bit."""

from support import bits


class Failure(Exception):
    """args are (kind, message): kind is a built-in exception's name, "SizeViolation" or "Panic"."""


def out_of_bounds(length, index):
    """An index from 2^64 on, beyond any machine index, is written as 2^q [+ low]."""
    if isinstance(index, int) and index >= 2**64:
        q = index.bit_length() - 1
        index = f"2^{q}" + (f" + {index - 2**q}" if index - 2**q else "")
    return Failure("Panic", f"index out of bounds: the len is {length} but the index is {index}")


def checked(values, k):
    if k >= len(values):
        raise out_of_bounds(len(values), k)
    return values[k]


def outcome(call):
    """("ok", bits(result)) or (kind, message) of a call to the module or a reference model."""
    try:
        return "ok", bits(call())
    except Failure as failure:
        return failure.args
    except (ValueError, TypeError, OverflowError, MemoryError) as exc:
        return type(exc).__name__, str(exc)
    except BaseException as exc:  # noqa: BLE001 - PanicException derives from BaseException
        if type(exc).__name__ != "PanicException":
            raise
        return "Panic", exc.args[0]
