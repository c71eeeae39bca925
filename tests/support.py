"""Helpers shared by the test modules."""

import contextlib
import gc
import sys

import pytest


@contextlib.contextmanager
def raises_panic(message):
    """Expect the module's internal-failure exception with exactly `message`."""
    with pytest.raises(BaseException) as info:
        yield info
    assert type(info.value).__name__ == "PanicException"
    assert not isinstance(info.value, Exception)
    assert info.value.args == (message,)


def assert_no_leak(*calls, repeat=2000, slack=64):
    """Run each call `repeat` times (failures included) and check that the
    interpreter's allocated block count does not grow."""

    def run_all():
        for call in calls:
            try:
                call()
            except BaseException:  # noqa: BLE001 - failing calls are part of the check
                pass

    for _ in range(50):
        run_all()
    gc.collect()
    before = sys.getallocatedblocks()
    for _ in range(repeat):
        run_all()
    gc.collect()
    grown = sys.getallocatedblocks() - before
    assert grown < slack, f"{grown} blocks still allocated after {repeat} rounds"


def bits(value):
    """A value with every float replaced by its exact hex form, so that == is
    a bit-for-bit comparison (signed zeros distinguished, NaN equal to NaN)."""
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, (list, tuple)):
        return type(value)(bits(v) for v in value)
    if isinstance(value, dict):
        return {bits(k): bits(v) for k, v in value.items()}
    return value
