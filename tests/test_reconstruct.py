"""Circuit-cutting reconstruction: records, reprs, the strict checks and the
arithmetic, against the reference model bit for bit."""

import math
import random
import struct

import pytest

from reference import reconstruct as ref
from support import bits, run_child

import tavik.tavik_core as core

cutting = core.cutting
Counts = cutting.SubcircuitSampleCounts
Coef = cutting.SampleCoefficient
HUGE = {"0": 2**64 - 1, "1": 2**64 - 1, "00": 2**64 - 1, "10": 2**64 - 5, "": 2**63}  # even - odd = 2**63 + 4


def reconstruct(counts, coefficients, labels):
    return cutting.reconstruct_expectation([Counts(*c) for c in counts], [Coef(*c) for c in coefficients], labels)


def random_instance(rng, n_coefficients, labels, entries, n_bits=6, extra=0):
    samples = rng.sample(range(10 * n_coefficients + 10), n_coefficients // 2 + 1)
    counts = []
    for s in samples + [10**6 + k for k in range(extra)]:  # extras: never referenced
        for label in dict.fromkeys(labels):
            if n_bits:
                keys = [format(k, f"0{n_bits}b") for k in rng.sample(range(2**n_bits), min(entries, 2**n_bits))]
            else:  # bitstrings of any length and make-up
                keys = ["".join(rng.choices("0111 é\u0661", k=rng.randrange(0, 20))) for _ in range(entries)]
            counts.append((s, label, {k: rng.randrange(0, 1000) for k in keys}, rng.randrange(1, 5000)))
    rng.shuffle(counts)
    coefficients = [(rng.choice(samples), rng.choice([rng.uniform(-3, 3), 0.0, -0.0, 1.0])) for _ in range(n_coefficients)]
    return counts, coefficients


# --- records -----------------------------------------------------------------


def test_records_store_values_and_survive_a_dict_changed_by_conversion():
    h, c = Counts(3, "A", {"01": 5, "11": 7}, 0), Coef(2, -0.25)  # zero shots are only refused when used
    assert (h.sample_index, h.subcircuit_label, h.counts, h.shots) == (3, "A", {"01": 5, "11": 7}, 0)
    assert (c.sample_index, c.coefficient) == (2, -0.25)
    histogram = {"0": True, "1": 2}  # an int subclass and an __index__ object are counts
    histogram["11"] = type("ClearingIndex", (), {"__index__": lambda self: histogram.clear() or 4})()
    assert Counts(0, "A", histogram, 9).counts == {"0": 1, "1": 2, "11": 4} and histogram == {}


# --- reprs: every code point, and doubles of every kind -------------------------


def test_reprs_match_reference_on_random_doubles_and_every_code_point():
    rng = random.Random(11)
    values = [struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0] for _ in range(3000)]
    values += [rng.uniform(-1e6, 1e6) for _ in range(1000)] + [0.0, 0.1 + 0.2, 2.0**60]
    values += [float(rng.randrange(-(2**70), 2**70)) for _ in range(500)] + [10.0**k for k in range(-30, 300)]
    values += [-0.0, math.inf, -math.inf, math.nan, -math.nan, 5e-324, 1e23, 2.0, 1e-7]
    for v in values:
        assert repr(Coef(2**64 - 1, v)) == ref.sample_coefficient_repr(2**64 - 1, v), v.hex()
    code_points = [cp for cp in range(0x110000) if not 0xD800 <= cp <= 0xDFFF]
    for start in range(0, len(code_points), 2048):
        label = "".join(map(chr, code_points[start : start + 2048]))
        assert repr(Counts(0, label, {}, 0)) == ref.subcircuit_counts_repr(0, label, 0)


# --- reconstruction ----------------------------------------------------------


@pytest.mark.parametrize("counts, coefficients, labels, expected", [
    ([(0, "A", {}, 7)], [(0, 5.0)], ["A"], 0.0),  # equal sums: +0.0
    ([(0, "A", {}, 0)], [], ["A"], -0.0),
    # huge counts are summed exactly, whatever their order, then converted once
    *[([(0, "A", h, 3)], [(0, 1.0)], ["A"], float(2**63 + 4) / 3) for h in (HUGE, dict(reversed(HUGE.items())))],
    # beyond 2**64, rounded once to nearest (ties to even), whatever the sign; a borrow across the words
    *[([(0, "A", {a: 2**64 - 1, b: 2**64 - 1, c: low}, 1)], [(0, 1.0)], ["A"], sign * float(2**65 + low - 2))
      for low in (4098, 4099, 4100) for a, b, c, sign in (("0", "00", "11", 1), ("1", "01", "10", -1))],
    ([(0, "A", {"0": 2**64 - 1, "00": 2, "1": 3}, 1)], [(0, 1.0)], ["A"], float(2**64 - 2)),
    # errors, in their documented precedence
    ([(0, "A", {}, 0), (0, "A", {}, 0)], [], [], "subcircuit_labels must not be empty"),
    ([(0, "A", {}, 1), (1, "A", {}, 1), (1, "A", {}, 1), (0, "A", {}, 1)], [(5, 1.0)], ["A"],
     "duplicate SubcircuitSampleCounts for sample 1 / subcircuit \"A\""),
    ([(7, 'q"\n', {}, 1), (7, 'q"\n', {}, 1)], [], ["B"],  # unreferenced entries take part
     'duplicate SubcircuitSampleCounts for sample 7 / subcircuit "q\\"\\n"'),
    ([(0, "A", {}, 1), (0, "B", {}, 0), (1, "A", {}, 1)], [(0, 1.0), (1, 1.0)], ["A", "B"],
     "missing SubcircuitSampleCounts for sample 1 / subcircuit \"B\""),
    ([(0, "A", {}, 1)], [(0, 1.0)], ["A", "\u0301x"],
     "missing SubcircuitSampleCounts for sample 0 / subcircuit \"\\u{301}x\""),
    ([(0, "A", {}, 1), (0, "B", {}, 0), (0, "C", {}, 0)], [(0, 1.0)], ["A", "C", "B"],
     "SubcircuitSampleCounts for sample 0 / subcircuit \"C\" has shots == 0"),
    ([(s, lab, {}, 0 if s in (4, 2) else 1) for s in range(6) for lab in "AB"], [(s, 1.0) for s in (0, 5, 4, 2)],
     ["A", "B"], "SubcircuitSampleCounts for sample 4 / subcircuit \"A\" has shots == 0"),
])  # fmt: skip
def test_documented_cases(counts, coefficients, labels, expected):
    for fn in (reconstruct, ref.reconstruct_expectation):
        try:
            got = bits(fn(counts, coefficients, labels))
        except ValueError as e:
            got = str(e)
        assert got == bits(expected)


def random_case(seed):
    rng = random.Random(seed)
    labels = rng.sample(["A", "B", "C", "sub\u00e9", "1"], rng.randrange(1, 4))
    if seed % 3 == 0:
        labels.append(labels[0])
    counts, coefficients = random_instance(rng, rng.randrange(0, 300), labels, rng.randrange(0, 40), [6, 0, 1, 11][seed % 4],
                                           extra=2)  # fmt: skip
    if seed % 4 == 0:  # zero shots on entries no coefficient uses
        counts = [(s, lab, h, 0) if s > 10**6 else (s, lab, h, n) for s, lab, h, n in counts]
    return counts, coefficients, labels


def fixed_width_case(width, n):
    """Keys of one byte length take the vectorised path: every entry count (lane tails), counts with both 32-bit
    halves in use, and bytes that are '1' with the high bit set (in '±') or a neighbour of it."""
    rng = random.Random(width * 100 + n)

    def key():
        text = ""
        while len(text.encode()) < width:
            c = rng.choice(["0", "1", "1", "0", "x", "±"])
            text += c if len((text + c).encode()) <= width else rng.choice("01")
        return text

    keys = list(dict.fromkeys(key() for _ in range(4 * n)))[:n]
    huge = [2**64 - 1, 2**63, 2**32, 2**32 - 1, rng.getrandbits(64), rng.randrange(1000)]
    return [(0, "A", {k: rng.choice(huge) for k in keys}, rng.choice([1, 3]))], [(0, 1.0)], ["A"]


CASES = [random_case(seed) for seed in range(12)] + [fixed_width_case(w, n) for w in (1, 3, 7, 8, 9) for n in range(19)]


@pytest.mark.parametrize("counts, coefficients, labels", CASES)
def test_matches_reference_bit_for_bit(counts, coefficients, labels):
    assert bits(reconstruct(counts, coefficients, labels)) == bits(ref.reconstruct_expectation(counts, coefficients, labels))


def pool_probe():
    """A result and an error that depend on every chunk of the parallel phase."""
    counts, coefficients = random_instance(random.Random(5), 6000, ["A", "B"], 24)
    with pytest.raises(ValueError, match="^SubcircuitSampleCounts for sample ") as error:
        reconstruct([(s, lab, h, 0 if s % 7 == 3 else n) for s, lab, h, n in counts], coefficients, ["A", "B"])
    return reconstruct(counts, coefficients, ["A", "B"]).hex(), str(error.value)


@pytest.mark.parametrize("cpus", [1, 2])
def test_results_do_not_depend_on_the_number_of_cpus(cpus):
    result = run_child("import test_reconstruct\nprint(test_reconstruct.pool_probe())", cpus)
    assert (result.stdout, result.stderr) == (f"{pool_probe()!r}\n", "")
