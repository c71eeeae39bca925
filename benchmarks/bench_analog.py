"""Calibration corrections on 100,000 sites / couplings: the module against
pure-Python and NumPy implementations of the same arithmetic (identical
results checked), all starting from and ending in plain Python lists."""

import math
import random
import struct
import sys

import numpy as np

from common import best_time, fmt_time, print_table

import tavik.tavik_core as core

N = 100_000


def clamp(x):
    return 0.01 if math.isnan(x) else max(x, 0.01)


def detuning_python(detunings, offsets):
    table = {}
    for site, offset in offsets:
        table[site] = offset
    return [d - table.get(k, 0.0) for k, d in enumerate(detunings)]


def detuning_numpy(detunings, offsets):
    out = np.array(detunings, dtype=np.float64)
    offset = np.zeros(len(out))
    if offsets:
        sites = np.fromiter((s for s, _ in offsets), dtype=np.uint64, count=len(offsets))
        values = np.fromiter((v for _, v in offsets), dtype=np.float64, count=len(offsets))
        keep = sites < len(out)
        offset[sites[keep]] = values[keep]  # later entries win
    return (out - offset).tolist()


def coupling_python(couplings, errors):
    table = {}
    for pair, error in errors:
        table[pair] = error
    return [(pair, j / clamp(table[pair] + 1.0)) if pair in table else (pair, j / 1.0) for pair, j in couplings]


def coupling_numpy(couplings, errors):
    table = dict(errors)
    j = np.fromiter((w for _, w in couplings), dtype=np.float64, count=len(couplings))
    e = np.fromiter((table.get(p, math.nan) for p, _ in couplings), dtype=np.float64, count=len(couplings))
    has = np.fromiter((p in table for p, _ in couplings), dtype=bool, count=len(couplings))
    scale = np.where(has, np.fmax(e + 1.0, 0.01), 1.0)
    return list(zip((p for p, _ in couplings), (j / scale).tolist()))


def pack(x):
    return struct.pack("<d", x)


def same(a, b):
    if a and isinstance(a[0], tuple):
        return [p for p, _ in a] == [p for p, _ in b] and all(pack(x) == pack(y) for (_, x), (_, y) in zip(a, b))
    return all(pack(x) == pack(y) for x, y in zip(a, b)) and len(a) == len(b)


def main():
    rng = random.Random(3)
    detunings = [rng.uniform(-5, 5) for _ in range(N)]
    offsets = [(rng.randrange(N + 100), rng.uniform(-0.1, 0.1)) for _ in range(N // 2)]
    couplings = [((rng.randrange(1000), rng.randrange(1000)), rng.uniform(-1, 1)) for _ in range(N)]
    errors = [(rng.choice(couplings)[0], rng.uniform(-1.2, 0.2)) for _ in range(N // 2)]

    rows = []
    for name, native, python, numpy_fn, args in [
        ("apply_detuning_correction", core.apply_detuning_correction, detuning_python, detuning_numpy, (detunings, offsets)),
        ("apply_coupling_correction", core.apply_coupling_correction, coupling_python, coupling_numpy, (couplings, errors)),
    ]:
        expected = native(*args)
        assert same(python(*args), expected) and same(numpy_fn(*args), expected), name
        t_native = best_time(lambda: native(*args))
        t_python = best_time(lambda: python(*args), repeat=3)
        t_numpy = best_time(lambda: numpy_fn(*args), repeat=3)
        rows.append([name, fmt_time(t_native), f"{fmt_time(t_numpy)} ({t_numpy / t_native:.1f}x)",
                     f"{fmt_time(t_python)} ({t_python / t_native:.1f}x)"])
    print_table(f"Calibration corrections, {N} entries (results identical in all)",
                ["function", "module", "NumPy", "pure Python"], rows)


if __name__ == "__main__":
    sys.exit(main())
