"""Circuit-cutting reconstruction: records, reprs, the strict checks and the
arithmetic, against the reference model bit for bit."""

import math
import os
import random
import struct
import subprocess
import sys
import textwrap

import pytest

from reference import cutting as ref
from support import assert_no_leak

import tavik.tavik_core as core

cutting = core.cutting
Counts = cutting.SubcircuitSampleCounts
Coef = cutting.SampleCoefficient


def bits(x):
    return struct.pack("<d", x)


def records(counts, coefficients):
    return [Counts(*c) for c in counts], [Coef(*c) for c in coefficients]


def reconstruct(counts, coefficients, labels):
    return cutting.reconstruct_expectation(*records(counts, coefficients), labels)


def random_instance(rng, n_coefficients, labels, entries, n_bits=6, extra=0):
    samples = rng.sample(range(10 * n_coefficients + 10), n_coefficients // 2 + 1)
    counts = []
    for s in samples + [10**6 + k for k in range(extra)]:  # extras: never referenced
        for label in dict.fromkeys(labels):
            if n_bits:
                keys = [format(k, f"0{n_bits}b") for k in rng.sample(range(2**n_bits), min(entries, 2**n_bits))]
            else:  # bitstrings of any length and make-up
                keys = ["".join(rng.choices("0111 é\u0661", k=rng.randrange(0, 20))) for _ in range(entries)]
            histogram = {k: rng.randrange(0, 1000) for k in keys}
            counts.append((s, label, histogram, rng.randrange(1, 5000)))
    rng.shuffle(counts)
    coefficients = [(rng.choice(samples), rng.choice([rng.uniform(-3, 3), 0.0, -0.0, 1.0])) for _ in range(n_coefficients)]
    return counts, coefficients


# --- records -----------------------------------------------------------------


def test_records_store_values_and_hand_out_fresh_copies():
    h = Counts(3, "A", {"01": 5, "11": 7}, 12)
    assert (h.sample_index, h.subcircuit_label, h.counts, h.shots) == (3, "A", {"01": 5, "11": 7}, 12)
    first = h.counts
    first["00"] = 1
    assert h.counts == {"01": 5, "11": 7} and h.counts is not h.counts
    c = Coef(sample_index=2, coefficient=-0.25)
    assert (c.sample_index, c.coefficient) == (2, -0.25)
    assert Counts(0, "", {}, 0).shots == 0  # zero shots are only refused when used


@pytest.mark.parametrize("obj, attr", [(Counts(0, "A", {}, 1), a) for a in ("sample_index", "subcircuit_label", "counts", "shots")]
                         + [(Coef(0, 1.0), a) for a in ("sample_index", "coefficient")])
def test_record_attributes_are_read_only(obj, attr):
    with pytest.raises(AttributeError):
        setattr(obj, attr, getattr(obj, attr))
    with pytest.raises(AttributeError):
        delattr(obj, attr)


class CountingIndex:
    """An integer-like count whose conversion clears the dict being read."""

    def __init__(self, target):
        self.target = target

    def __index__(self):
        self.target.clear()
        return 4


@pytest.mark.parametrize(
    "args, exc, message",
    [
        ((0, 5, {}, 1), TypeError, "argument 'subcircuit_label': 'int' object cannot be converted to 'PyString'"),
        ((0, "A", [("0", 1)], 1), TypeError, "argument 'counts': 'list' object cannot be converted to 'PyDict'"),
        ((0, "A", {0: 1}, 1), TypeError, "argument 'counts': 'int' object cannot be converted to 'PyString'"),
        ((0, "A", {"0": 1.0}, 1), TypeError, "argument 'counts': 'float' object cannot be interpreted as an integer"),
        ((0, "A", {"0": -1}, 1), OverflowError, None),
        ((-1, "A", {}, 1), OverflowError, None),
        ((0, "\ud800", {}, 1), UnicodeEncodeError, None),
        ((0, "A", {"\udfff": 1}, 1), UnicodeEncodeError, None),
    ],
)
def test_counts_constructor_refuses_bad_values(args, exc, message):
    with pytest.raises(exc) as info:
        Counts(*args)
    if message is not None:
        assert str(info.value) == message


def test_counts_conversion_takes_items_in_order_and_survives_a_dict_changed_by_conversion():
    # The first bad item decides the error, whichever kind it is.
    with pytest.raises(OverflowError):
        Counts(0, "A", {"0": 1, "1": -1, 2: 1}, 1)
    with pytest.raises(TypeError, match="'int' object cannot be converted to 'PyString'"):
        Counts(0, "A", {"0": 1, 2: 1, "1": -1}, 1)
    histogram = {"0": True, "1": 2}  # an int subclass: read through __index__
    histogram["11"] = CountingIndex(histogram)
    h = Counts(0, "A", histogram, 9)
    assert h.counts == {"0": 1, "1": 2, "11": 4} and histogram == {}


# --- reprs -------------------------------------------------------------------


@pytest.mark.parametrize(
    "value, text",
    [(0.5, "0.5"), (2.0, "2"), (1e-7, "0.0000001"), (-0.0, "-0"), (0.0, "0"), (math.nan, "NaN"), (-math.nan, "NaN"),
     (math.inf, "inf"), (-math.inf, "-inf"), (0.1 + 0.2, "0.30000000000000004"), (-1.5e-5, "-0.000015"),
     (1e22, "1" + "0" * 22), (1e23, "1" + "0" * 23), (1e25, "1" + "0" * 25), (2.0**60, "1152921504606847000"),
     (5e-324, "0." + "0" * 323 + "5")],
)
def test_sample_coefficient_repr(value, text):
    assert repr(Coef(1, value)) == f"SampleCoefficient(sample_index=1, coefficient={text})"


def test_sample_coefficient_repr_matches_reference_on_random_doubles():
    rng = random.Random(11)
    values = [struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0] for _ in range(3000)]
    values += [rng.uniform(-1e6, 1e6) for _ in range(1000)]
    values += [float(rng.randrange(-(2**70), 2**70)) for _ in range(500)] + [10.0**k for k in range(-30, 300)]
    for v in values:
        assert repr(Coef(2**64 - 1, v)) == ref.sample_coefficient_repr(2**64 - 1, v), v.hex()
        if not math.isnan(v):
            assert float(repr(Coef(0, v)).split("coefficient=")[1][:-1]) == v


@pytest.mark.parametrize(
    "label, shown",
    [
        ("A", '"A"'),
        ('say "hi"\\', r'"say \"hi\"\\"'),
        ("it's", '"it\'s"'),
        ("a\nb\rc\td\0e", r'"a\nb\rc\td\0e"'),
        ("\x01\x1b\x7f\x85", r'"\u{1}\u{1b}\u{7f}\u{85}"'),
        ("e\u0301", r'"e\u{301}"'),  # combining mark
        ("\u20dd", r'"\u{20dd}"'),  # enclosing mark
        ("\u200b\u200d\ufeff", r'"\u{200b}\u{200d}\u{feff}"'),  # format characters
        ("\u2028\u2029\u00a0\u3000 ", r'"\u{2028}\u{2029}\u{a0}\u{3000} "'),  # separators; U+0020 stays
        ("\ue000\U000f0000\U0010ffff\U000e0001", r'"\u{e000}\u{f0000}\u{10ffff}\u{e0001}"'),
        ("\u0378\U0003ffff", r'"\u{378}\u{3ffff}"'),  # unassigned
        ("é→Ω漢🙂\u0903", '"é→Ω漢🙂\u0903"'),  # printable, a spacing mark included
    ],
)
def test_label_repr_escapes(label, shown):
    assert repr(Counts(3, label, {"0": 1}, 1000)) == f"SubcircuitSampleCounts(sample_index=3, subcircuit_label={shown}, shots=1000)"


def test_label_repr_matches_reference_on_every_code_point():
    code_points = [cp for cp in range(0x110000) if not 0xD800 <= cp <= 0xDFFF]
    for start in range(0, len(code_points), 2048):
        label = "".join(map(chr, code_points[start : start + 2048]))
        assert repr(Counts(0, label, {}, 0)) == ref.subcircuit_counts_repr(0, label, 0)


# --- reconstruction ----------------------------------------------------------


@pytest.mark.parametrize(
    "counts, coefficients, labels, expected",
    [
        ([(0, "A", {"0": 60, "1": 40}, 100)], [(0, 2.0)], ["A"], 0.4),
        ([(0, "A", {"11": 1}, 1)], [(0, 1.0)], ["A"], 1.0),
        ([(0, "A", {"1 0": 1}, 1)], [(0, 1.0)], ["A"], -1.0),
        ([(0, "A", {"": 1}, 1)], [(0, 1.0)], ["A"], 1.0),
        ([(0, "A", {"x1y1z1": 1, "\u0661": 3}, 4)], [(0, 1.0)], ["A"], 0.5),  # only the character '1' counts
        ([(0, "A", {"0": 3, "1": 1}, 4), (0, "B", {"0": 1, "1": 3}, 4)], [(0, 1.0)], ["A", "B"], -0.25),
        ([(0, "A", {"0": 10}, 100)], [(0, 1.0)], ["A"], 0.1),  # no renormalisation
        ([(0, "A", {}, 7)], [(0, 5.0)], ["A"], 0.0),
        ([(0, "A", {"0": 3, "1": 1}, 4)], [(0, 1.0)], ["A", "A"], 0.25),  # a label twice: factor squared
        ([(0, "A", {"0": 3, "1": 1}, 4)], [(0, 1.0), (0, 3.0)], ["A"], 2.0),  # one term per coefficient
        ([(0, "A", {"0": 1}, 1), (9, "A", {}, 0), (0, "Z", {}, 0)], [(0, 1.0)], ["A"], 1.0),  # unused: not checked
    ],
)
def test_documented_results(counts, coefficients, labels, expected):
    result = reconstruct(counts, coefficients, labels)
    assert result == expected
    assert bits(result) == bits(ref.reconstruct_expectation(counts, coefficients, labels))


def test_empty_coefficient_list_gives_negative_zero():
    assert bits(reconstruct([(0, "A", {}, 0)], [], ["A"])) == bits(-0.0)


def quote(label):
    return ref.quoted(label)


@pytest.mark.parametrize(
    "counts, coefficients, labels, message",
    [
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
    ],
)
def test_errors_in_documented_precedence(counts, coefficients, labels, message):
    with pytest.raises(ValueError) as info:
        reconstruct(counts, coefficients, labels)
    assert str(info.value) == message
    with pytest.raises(ValueError) as expected:
        ref.reconstruct_expectation(counts, coefficients, labels)
    assert str(expected.value) == message


@pytest.mark.parametrize(
    "args, exc, message",
    [
        (("x", [], ["A"]), TypeError, "argument 'counts': Can't extract `str` to `Vec`"),
        (([Coef(0, 1.0)], [], ["A"]), TypeError,
         "argument 'counts': 'SampleCoefficient' object cannot be converted to 'SubcircuitSampleCounts'"),
        (([], [Counts(0, "A", {}, 1)], ["A"]), TypeError,
         "argument 'coefficients': 'SubcircuitSampleCounts' object cannot be converted to 'SampleCoefficient'"),
        (([], [], [b"A"]), TypeError, "argument 'subcircuit_labels': 'bytes' object cannot be converted to 'PyString'"),
    ],
)
def test_argument_conversion_errors(args, exc, message):
    with pytest.raises(exc) as info:
        cutting.reconstruct_expectation(*args)
    assert str(info.value) == message


@pytest.mark.parametrize("seed", range(12))
def test_matches_reference_bit_for_bit(seed):
    rng = random.Random(seed)
    labels = rng.sample(["A", "B", "C", "sub\u00e9", "1"], rng.randrange(1, 4))
    if seed % 3 == 0:
        labels.append(labels[0])
    n_bits = [6, 0, 1, 11][seed % 4]
    counts, coefficients = random_instance(rng, rng.randrange(0, 300), labels, rng.randrange(0, 40), n_bits, extra=2)
    if seed % 4 == 0:  # zero shots on entries no coefficient uses
        counts = [(s, lab, h, 0) if s > 10**6 else (s, lab, h, n) for s, lab, h, n in counts]
    result = reconstruct(counts, coefficients, labels)
    assert bits(result) == bits(ref.reconstruct_expectation(counts, coefficients, labels))


def test_huge_counts_are_summed_exactly_whatever_the_histogram_order():
    top = 2**64 - 1
    items = [("0", top), ("1", top), ("00", top), ("10", top - 4), ("", 2**63)]
    expected = (2 * top + 2**63 - (2 * top - 4)) / 3.0  # exact sum, converted once
    for order in (items, items[::-1], items[2:] + items[:2]):
        assert reconstruct([(0, "A", dict(order), 3)], [(0, 1.0)], ["A"]) == expected


def test_arguments_are_not_modified():
    counts, coefficients = records([(0, "A", {"0": 1}, 2)], [(0, 1.0)])
    labels = ["A"]
    cutting.reconstruct_expectation(counts, coefficients, labels)
    assert len(counts) == 1 and counts[0].counts == {"0": 1} and labels == ["A"] and coefficients[0].coefficient == 1.0


CHILD = textwrap.dedent(
    """
    import os, pickle, random, sys
    cpus = sorted(os.sched_getaffinity(0))[: int(sys.argv[1])]
    os.sched_setaffinity(0, set(cpus))
    sys.path.insert(0, sys.argv[2])
    import test_cutting as t
    print(t.pool_probe())
    """
)


def pool_probe():
    """A result and an error that depend on every chunk of the parallel phase."""
    rng = random.Random(5)
    counts, coefficients = random_instance(rng, 6000, ["A", "B"], 24)
    result = reconstruct(counts, coefficients, ["A", "B"]).hex()
    zero = [(s, lab, h, 0 if s % 7 == 3 else n) for s, lab, h, n in counts]
    try:
        reconstruct(zero, coefficients, ["A", "B"])
        error = None
    except ValueError as exc:
        error = str(exc)
    return result, error


@pytest.mark.skipif(not hasattr(os, "sched_setaffinity"), reason="needs CPU affinity")
def test_results_do_not_depend_on_the_number_of_cpus():
    here = pool_probe()
    assert here[1] is not None and here[1].startswith("SubcircuitSampleCounts for sample ")
    for n in (1, 2):
        out = subprocess.run([sys.executable, "-c", CHILD, str(n), os.path.dirname(__file__)],
                             capture_output=True, text=True, check=True)
        assert out.stdout.strip() == repr(here)


def test_no_leak():
    counts, coefficients = records([(0, "A", {"0": 1, "1": 2}, 3), (0, "B", {"1": 1}, 1)], [(0, 0.5)])
    assert_no_leak(
        lambda: cutting.reconstruct_expectation(counts, coefficients, ["A", "B"]),
        lambda: cutting.reconstruct_expectation(counts, coefficients, ["A", "C"]),
        lambda: cutting.reconstruct_expectation(counts + counts, coefficients, ["A"]),
        lambda: cutting.reconstruct_expectation(counts, coefficients, [1]),
        lambda: Counts(1, "lab\u0301", {"00": 1, "01": 2}, 3).counts,
        lambda: Counts(1, "lab", {"00": -1}, 3),
        lambda: repr(Counts(1, "lab\u0301", {}, 3)) + repr(Coef(2, 1e-9)),
    )
