"""Check that mypy and pyright each flag exactly the lines of FILE marked "# error: CODE RULE".

CODE is the mypy error code and RULE the pyright rule expected on that line; both checkers
must exit non-zero, report each marked line with that code, and report nothing else.
"""

import json
import re
import subprocess
import sys
from pathlib import Path

MARK = re.compile(r"#\s*error:\s*(\S+)\s+(\S+)\s*$")


def run(command: list[str]) -> subprocess.CompletedProcess[str]:
    return subprocess.run(command, capture_output=True, text=True)


def mypy_errors(path: Path) -> tuple[int, set[tuple[int, str]]]:
    done = run([sys.executable, "-m", "mypy", "--strict", "--cache-dir=/dev/null", "-O", "json", str(path)])
    found = set()
    for line in done.stdout.splitlines():
        report = json.loads(line)
        if report["severity"] == "error":
            found.add((report["line"], report["code"]))
    return done.returncode, found


def pyright_errors(path: Path) -> tuple[int, set[tuple[int, str]]]:
    done = run([sys.executable, "-m", "pyright", "--pythonpath", sys.executable, "--outputjson", str(path)])
    found = set()
    for report in json.loads(done.stdout)["generalDiagnostics"]:
        if report["severity"] == "error":
            found.add((report["range"]["start"]["line"] + 1, report.get("rule", "")))
    return done.returncode, found


def main(path: Path) -> int:
    expected_mypy, expected_pyright = set(), set()
    for number, text in enumerate(path.read_text(encoding="utf-8").splitlines(), start=1):
        if match := MARK.search(text):
            expected_mypy.add((number, match[1]))
            expected_pyright.add((number, match[2]))
    if not expected_mypy:
        print(f"{path}: no line is marked '# error: CODE RULE'", file=sys.stderr)
        return 1
    failed = False
    for checker, expected, (status, found) in (
        ("mypy", expected_mypy, mypy_errors(path)),
        ("pyright", expected_pyright, pyright_errors(path)),
    ):
        missing, unexpected = sorted(expected - found), sorted(found - expected)
        if status == 0 or missing or unexpected:
            failed = True
            print(f"{checker} on {path}: exit status {status}", file=sys.stderr)
            for number, code in missing:
                print(f"  line {number}: expected {code}, not reported", file=sys.stderr)
            for number, code in unexpected:
                print(f"  line {number}: unexpected {code}", file=sys.stderr)
    if not failed:
        print(f"{path}: mypy and pyright flag exactly the {len(expected_mypy)} marked lines")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(Path(sys.argv[1])))
