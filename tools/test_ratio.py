"""The size of the test suite against the size of the code, in non-blank lines.

Tests: everything under tests/ that is source (Python, C++), the reference models
included, and the native tests beside the kernels (src/**/*.test.cc). Code: the rest
of src/, and the package's Python modules (its type stubs are not code). Files are
the ones git tracks. Exits with 1 above the ceiling:

    python tools/test_ratio.py [--ceiling 0.35]
"""

import argparse
import subprocess
import sys
from pathlib import Path

SOURCE = (".py", ".cc", ".h")


def non_blank(path: Path) -> int:
    return sum(1 for line in path.read_text(encoding="utf-8").splitlines() if line.strip())


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ceiling", type=float, default=0.35)
    ceiling = parser.parse_args().ceiling
    root = Path(__file__).resolve().parent.parent
    files = subprocess.run(["git", "ls-files"], cwd=root, capture_output=True, text=True, check=True).stdout.split()
    tests = code = 0
    for name in files:
        if not name.endswith(SOURCE):
            continue
        if name.startswith("tests/") or (name.startswith("src/") and name.endswith(".test.cc")):
            tests += non_blank(root / name)
        elif name.startswith(("src/", "python/")):
            code += non_blank(root / name)
    ratio = tests / code
    print(f"tests {tests} / code {code} non-blank lines = {ratio:.3f} (ceiling {ceiling})")
    return 0 if ratio <= ceiling else 1


if __name__ == "__main__":
    sys.exit(main())
