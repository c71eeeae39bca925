"""Reference model of circuit-cutting reconstruction and of its reprs."""

import bisect
import math
import pathlib
from decimal import Decimal

# Characters that do not print, and combining marks, are written as \u{hex}. Which those are is frozen at the module's
# Unicode version, not the running interpreter's.
ESCAPED_RANGES = [tuple(int(bound, 16) for bound in line.split())
                  for line in (pathlib.Path(__file__).parent / "unicode_escapes.txt").read_text().splitlines()
                  if not line.startswith("#")]
_RANGE_STARTS = [first for first, _ in ESCAPED_RANGES]
SHORT_ESCAPES = {'"': '\\"', "\\": "\\\\", "\n": "\\n", "\r": "\\r", "\t": "\\t", "\0": "\\0"}


def is_escaped(cp):
    at = bisect.bisect_right(_RANGE_STARTS, cp) - 1
    return at >= 0 and cp <= ESCAPED_RANGES[at][1]


def quoted(text):
    def escape(ch):
        if ch in SHORT_ESCAPES:
            return SHORT_ESCAPES[ch]
        return "\\u{%x}" % ord(ch) if is_escaped(ord(ch)) else ch

    return '"' + "".join(map(escape, text)) + '"'


def shortest_decimal(x):
    """The shortest round-trip digits (those of repr) written without an
    exponent: 1e25 is a 1 and 25 zeros, 2.0 is 2, -0.0 is -0."""
    if math.isnan(x):
        return "NaN"
    if math.isinf(x):
        return "inf" if x > 0 else "-inf"
    return format(Decimal(repr(x)).normalize(), "f")


def sample_coefficient_repr(sample_index, coefficient):
    return f"SampleCoefficient(sample_index={sample_index}, coefficient={shortest_decimal(coefficient)})"


def subcircuit_counts_repr(sample_index, label, shots):
    return f"SubcircuitSampleCounts(sample_index={sample_index}, subcircuit_label={quoted(label)}, shots={shots})"


def reconstruct_expectation(counts, coefficients, labels):
    """counts: (sample_index, label, histogram dict, shots) tuples;
    coefficients: (sample_index, coefficient) pairs."""
    if not labels:
        raise ValueError("subcircuit_labels must not be empty")
    index = {}
    for sample, label, histogram, shots in counts:
        if (sample, label) in index:
            raise ValueError(f"duplicate SubcircuitSampleCounts for sample {sample} / subcircuit {quoted(label)}")
        index[(sample, label)] = (histogram, shots)
    for sample, _ in coefficients:
        for label in labels:
            if (sample, label) not in index:
                raise ValueError(f"missing SubcircuitSampleCounts for sample {sample} / subcircuit {quoted(label)}")
    total = -0.0  # terms summed sequentially in coefficient order
    for sample, w in coefficients:
        product = 1.0
        for label in labels:
            histogram, shots = index[(sample, label)]
            if shots == 0:
                raise ValueError(f"SubcircuitSampleCounts for sample {sample} / subcircuit {quoted(label)} has shots == 0")
            even_minus_odd = sum(-n if bits.count("1") % 2 else n for bits, n in histogram.items())  # exact
            product = product * (float(even_minus_odd) / float(shots))
        total = total + w * product
    return total
