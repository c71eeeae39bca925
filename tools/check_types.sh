#!/usr/bin/env bash
# Checks the type stubs of the installed tavik package against its extension module and
# against users' code: run after `pip install '.[test]'`, in the same environment.
#  1. the committed stubs are what tools/gen_stubs.py writes from the installed module and
#     tools/stub_sources.py (a unified diff otherwise), so no docstring drifts from the module;
#  2. stubtest: every stubbed name, signature, default and attribute matches the module;
#  3. mypy --strict and pyright (strict) accept scripts that use every public name (of the
#     core, and of tavik.arrays and tavik.sweep), and the scripts run;
#  4. mypy accepts the package's own code;
#  5. both checkers flag exactly the marked mistakes of a misuse script.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== stubs as tools/gen_stubs.py writes them"
python tools/gen_stubs.py --check

echo "== stubtest"
python tools/stubtest.py --allowlist tools/stubtest-allowlist.txt

for script in tests/typing/uses_every_name.py tests/typing/uses_arrays_and_sweep.py; do
  echo "== mypy --strict, pyright strict: $script"
  python -m mypy --strict --cache-dir=/dev/null "$script"
  python -m pyright --pythonpath "$(command -v python)" "$script"
  python "$script"
done

echo "== mypy: the package's own code"
python -m mypy --cache-dir=/dev/null python/tavik

echo "== misuses flagged: tests/typing/misuses.py"
python tools/expect_type_errors.py tests/typing/misuses.py
