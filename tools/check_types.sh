#!/usr/bin/env bash
# Checks the type stubs of the installed tavik package against its extension module and
# against users' code: run after `pip install '.[test]'`, in the same environment.
#  1. stubtest: every stubbed name, signature, default and attribute matches the module;
#  2. mypy --strict and pyright (strict) accept a script that uses every public name, and
#     the script runs;
#  3. both checkers flag exactly the marked mistakes of a misuse script.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== stubtest"
python tools/stubtest.py --allowlist tools/stubtest-allowlist.txt

echo "== mypy --strict, pyright strict: tests/typing/uses_every_name.py"
python -m mypy --strict --cache-dir=/dev/null tests/typing/uses_every_name.py
python -m pyright --pythonpath "$(command -v python)" tests/typing/uses_every_name.py
python tests/typing/uses_every_name.py

echo "== misuses flagged: tests/typing/misuses.py"
python tools/expect_type_errors.py tests/typing/misuses.py
