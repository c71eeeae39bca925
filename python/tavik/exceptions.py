"""Exceptions of the tavik package.

``SizeViolation`` is raised when a problem is larger than a routine supports;
``PanicException`` when an internal invariant breaks inside the native core.
Both are the very classes that :mod:`tavik.tavik_core` raises.
"""

from typing import TYPE_CHECKING


class SizeViolation(ValueError):
    """A problem is larger than a routine supports (for example more than 20
    variables for exhaustive enumeration). The message names the limit."""


_PANIC_DOC = (
    "An internal failure of tavik_core: a broken invariant, an index out of range inside a "
    "kernel or a step that must succeed. Derives from BaseException so that `except "
    "Exception` does not swallow it."
)


if TYPE_CHECKING:

    class PanicException(BaseException):
        """An internal failure of tavik_core: a broken invariant, an index out of
        range inside a kernel or a step that must succeed. Derives from
        BaseException so that `except Exception` does not swallow it."""


def __getattr__(name: str) -> type[BaseException]:
    # PanicException is made on first need, by whichever comes first: a user
    # naming it here or the native core raising it. It keeps the name under
    # which the core has always reported it.
    if name != "PanicException":
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    cls = type("PanicException", (BaseException,), {"__module__": "tavik.tavik_core", "__doc__": _PANIC_DOC})
    return globals().setdefault("PanicException", cls)  # one class even if two threads race here


def __dir__() -> list[str]:
    return sorted({*globals(), "PanicException"})
