"""The README's Python examples run as written and print what they show."""

import doctest
import pathlib
import re

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"


def python_blocks(text):
    """(line number, source) of each ```python block, in order."""
    for match in re.finditer(r"^```python\n(.*?)^```$", text, re.M | re.S):
        yield text.count("\n", 0, match.start()) + 2, match.group(1)


def test_readme_examples_run_and_show_what_they_say():
    blocks = list(python_blocks(README.read_text(encoding="utf-8")))
    assert len(blocks) >= 7
    # The blocks read as one session: later ones use names defined earlier.
    globs = {"__name__": "readme"}
    parser, runner = doctest.DocTestParser(), doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    for line, source in blocks:
        assert ">>> " in source, f"README.md:{line}: write examples as sessions, so their output is checked"
        test = parser.get_doctest(source, globs, f"README.md:{line}", str(README), line - 1)
        result = runner.run(test, clear_globs=False)
        assert result.failed == 0, f"README.md:{line}: example output differs (see the report above)"
        globs = test.globs


TOUR = ["Exhaustive QUBO spectrum", "Exact Ising error norm", "Exact Ising ground state of a logical graph",
        "Statevector simulation", "Noisy runs of a QUBO", "Stackelberg chain-strength recommendation",
        "Rotated surface-code patches", "Minimum-weight lookup decoder (distance 3)",
        "Exact logical failure probability under bit flips", "Protecting the most critical QUBO variables",
        "One-hot tour QUBO of a routing instance", "Minimum-cut bisection", "Neutral-atom compilation",
        "Photonic GBS encoding", "Calibration pre-distortion", "Circuit-cutting reconstruction",
        "The same kernels on NumPy arrays (tavik.arrays)"]  # fmt: skip


def test_the_tour_runs_and_says_what_each_section_shows():
    import subprocess
    import sys

    result = subprocess.run([sys.executable, "-m", "tavik"], capture_output=True, text=True, timeout=120)
    assert (result.returncode, result.stderr) == (0, "")
    lines = result.stdout.splitlines()
    # Every section once, in order, each ending with what its numbers show.
    assert [line[3:-3] for line in lines if line.startswith("== ")] == TOUR
    sections = result.stdout.split("\n== ")[1:]
    assert all(text.rstrip().splitlines()[-1].startswith("-> ") for text in sections), "a section without its summary"
    # No line printed twice over. (Two noisy runs may give the same line, but not these two in a row.)
    assert not [a for a, b in zip(lines, lines[1:]) if a == b and a]
    assert "identical to tavik_core on the equivalent term list: True" in result.stdout
