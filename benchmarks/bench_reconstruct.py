"""reconstruct_expectation: 10,000 coefficients × 2 sub-circuits × 64-entry
histograms, against a pure-Python and a NumPy implementation of the same
formula (identical results checked). Every implementation starts from the same
caller-side data: the module from its record objects, the others from plain
Python tuples, dicts and lists. A last row isolates the module's parity scan
at 100,000 coefficients: the time with 64-entry histograms minus the time
with 1-entry ones (the same records otherwise), per histogram entry."""

import random
import struct
import sys

import numpy as np

from common import best_time, fmt_time, print_table

import tavik.tavik_core as core

cutting = core.cutting
N_COEFFICIENTS, LABELS, ENTRIES, N_BITS = 10_000, ["A", "B"], 64, 8


def make_instance(seed=1, n_coefficients=N_COEFFICIENTS, entries=ENTRIES):
    rng = random.Random(seed)
    counts = []
    for sample in range(n_coefficients):
        for label in LABELS:
            keys = rng.sample(range(2**N_BITS), entries)
            histogram = {format(k, f"0{N_BITS}b"): rng.randrange(1, 200) for k in keys}
            counts.append((sample, label, histogram, sum(histogram.values())))
    rng.shuffle(counts)
    coefficients = [(s, rng.uniform(-1, 1)) for s in range(n_coefficients)]
    return counts, coefficients


def pure_python(counts, coefficients, labels):
    if not labels:
        raise ValueError("subcircuit_labels must not be empty")
    index = {}
    for sample, label, histogram, shots in counts:
        if (sample, label) in index:
            raise ValueError("duplicate")
        index[(sample, label)] = (histogram, shots)
    for sample, _ in coefficients:
        for label in labels:
            if (sample, label) not in index:
                raise ValueError("missing")
    total = -0.0
    for sample, w in coefficients:
        product = 1.0
        for label in labels:
            histogram, shots = index[(sample, label)]
            s = 0.0
            for bits, n in histogram.items():
                s = s + n if bits.count("1") % 2 == 0 else s - n
            product *= s / shots
        total += w * product
    return total


def numpy_version(counts, coefficients, labels):
    """The same formula with the histogram work in NumPy: bitstrings' parities
    from one vectorised byte count, signed sums per histogram by add.reduceat
    (exact: integers below 2^53 in any order), then products and the ordered
    sum of terms."""
    if not labels:
        raise ValueError("subcircuit_labels must not be empty")
    index = {}
    for position, (sample, label, _, _) in enumerate(counts):
        if (sample, label) in index:
            raise ValueError("duplicate")
        index[(sample, label)] = position
    refs = np.empty((len(coefficients), len(labels)), dtype=np.int64)
    for c, (sample, _) in enumerate(coefficients):
        for k, label in enumerate(labels):
            position = index.get((sample, label))
            if position is None:
                raise ValueError("missing")
            refs[c, k] = position
    sizes = np.fromiter((len(h) for _, _, h, _ in counts), dtype=np.int64, count=len(counts))
    keys = [k for _, _, h, _ in counts for k in h]
    values = np.fromiter((v for _, _, h, _ in counts for v in h.values()), dtype=np.float64, count=len(keys))
    blob = np.frombuffer("\n".join(keys).encode() + b"\n", dtype=np.uint8)
    ends = np.flatnonzero(blob == ord("\n"))
    ones = np.concatenate(([0], np.cumsum(blob == ord("1"))))[ends]
    parity = np.diff(np.concatenate(([0], ones))) & 1
    signed = np.where(parity == 0, values, -values)
    starts = np.concatenate(([0], np.cumsum(sizes)[:-1]))
    sums = np.where(sizes > 0, np.add.reduceat(signed, np.minimum(starts, len(signed) - 1)) if len(signed) else 0.0, 0.0)
    shots = np.fromiter((s for _, _, _, s in counts), dtype=np.float64, count=len(counts))
    expectation = sums / shots
    product = np.ones(len(coefficients))
    for k in range(len(labels)):
        product = product * expectation[refs[:, k]]
    terms = np.fromiter((w for _, w in coefficients), dtype=np.float64, count=len(coefficients)) * product
    total = -0.0
    for t in terms.tolist():
        total += t
    return total


def scan_time_per_entry(n_coefficients=100_000):
    timed = []
    for entries in (ENTRIES, 1):
        counts, coefficients = make_instance(2, n_coefficients, entries)
        records = [cutting.SubcircuitSampleCounts(*c) for c in counts]
        coefficient_records = [cutting.SampleCoefficient(*c) for c in coefficients]
        timed.append(best_time(lambda: cutting.reconstruct_expectation(records, coefficient_records, LABELS), repeat=7))
    return (timed[0] - timed[1]) / (n_coefficients * len(LABELS) * (ENTRIES - 1))


def main():
    counts, coefficients = make_instance()
    records = [cutting.SubcircuitSampleCounts(*c) for c in counts]
    coefficient_records = [cutting.SampleCoefficient(*c) for c in coefficients]

    native = cutting.reconstruct_expectation(records, coefficient_records, LABELS)
    results = {"pure Python": pure_python(counts, coefficients, LABELS),
               "NumPy": numpy_version(counts, coefficients, LABELS)}
    for name, value in results.items():
        assert struct.pack("<d", value) == struct.pack("<d", native), (name, value, native)

    t_native = best_time(lambda: cutting.reconstruct_expectation(records, coefficient_records, LABELS))
    t_python = best_time(lambda: pure_python(counts, coefficients, LABELS), repeat=3)
    t_numpy = best_time(lambda: numpy_version(counts, coefficients, LABELS), repeat=3)
    t_build = best_time(lambda: ([cutting.SubcircuitSampleCounts(*c) for c in counts],
                                 [cutting.SampleCoefficient(*c) for c in coefficients]), repeat=3)
    rows = [
        ["tavik_core.cutting.reconstruct_expectation", fmt_time(t_native), "1.0x"],
        ["  + building its records from the tuples", fmt_time(t_native + t_build), f"{(t_native + t_build) / t_native:.1f}x"],
        ["NumPy, same formula", fmt_time(t_numpy), f"{t_numpy / t_native:.0f}x"],
        ["pure Python, same formula", fmt_time(t_python), f"{t_python / t_native:.0f}x"],
        ["module's parity scan alone, per histogram entry", fmt_time(scan_time_per_entry()), "-"],
    ]
    print_table(f"reconstruct_expectation: {N_COEFFICIENTS} coefficients x {len(LABELS)} sub-circuits x "
                f"{ENTRIES}-entry histograms ({N_BITS}-bit), result {native!r} (identical in all)",
                ["implementation", "time per call", "vs module"], rows)


if __name__ == "__main__":
    sys.exit(main())
