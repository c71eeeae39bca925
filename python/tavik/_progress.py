"""A progress bar for long native calls: the kernel counts into progress[0]
while a drawing thread reads it (tqdm where installed, a line on stderr
otherwise), shown only once a call has run a couple of seconds."""

from __future__ import annotations

import importlib
import sys
import threading
import time
from typing import Any, Callable, TypeVar

import numpy as np
import numpy.typing as npt

T = TypeVar("T")

_DELAY = 2.0


def _draw(progress: npt.NDArray[np.uint64], total: int, unit: str, label: str, stop: threading.Event) -> None:
    try:
        tqdm: Any = importlib.import_module("tqdm").tqdm
    except ImportError:
        tqdm = None
    if tqdm is not None:
        with tqdm(total=total, unit=unit, unit_scale=True, delay=_DELAY, leave=False) as bar:
            while not stop.wait(0.2):
                bar.update(int(progress[0]) - bar.n)
        return
    start, drawn = time.monotonic(), False
    while not stop.wait(0.5):
        if time.monotonic() - start >= _DELAY:
            sys.stderr.write(f"\r{label}: {int(progress[0]) / max(total, 1):6.1%} of {total:,} {unit}")
            drawn = True
    if drawn:
        sys.stderr.write("\r" + " " * 60 + "\r")


def with_progress(call: Callable[[npt.NDArray[np.uint64]], T], total: int, *, long: bool, unit: str, label: str) -> T:
    """call(progress), progress[0] counting up to `total` units; a bar on a
    terminal when the caller judges the call `long`."""
    progress = np.zeros(1, dtype=np.uint64)
    if not long or not sys.stderr.isatty():
        return call(progress)
    stop = threading.Event()
    drawer = threading.Thread(target=_draw, args=(progress, total, unit, label, stop), daemon=True)
    drawer.start()
    try:
        return call(progress)
    finally:
        stop.set()
        drawer.join()
