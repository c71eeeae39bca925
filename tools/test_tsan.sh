#!/usr/bin/env bash
# CI: the worker pool under ThreadSanitizer. Builds the module and the native
# tests with -fsanitize=thread, runs the pool's native test (which races the
# pool's creation, nests its jobs and stops one in its tail), then the pool's
# and the interruption tests with the runtime preloaded into the
# (uninstrumented) interpreter. Any report fails the run.
#   tools/test_tsan.sh [work-dir]   (default: a fresh temporary directory)
set -euo pipefail
cd "$(dirname "$0")/.."

work=${1:-$(mktemp -d)}
[ $# -ge 1 ] || trap 'rm -rf "$work"' EXIT
mkdir -p "$work"
tsan=$(gcc -print-file-name=libtsan.so)
# The child processes of the tests (fork, multiprocessing) start threads of
# their own after forking a threaded parent: supported for what they do.
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:die_after_fork=0"

python3 -m venv "$work/venv"
source "$work/venv/bin/activate"
python -m pip install -q --upgrade pip
python -m pip install -q 'cmake>=3.26'  # for ctest: the system's may be older, or missing
python -m pip install -q -C build-dir="$work/build" -C cmake.define.TAVIK_TESTS=ON \
  -C cmake.define.TAVIK_SANITIZE_THREAD=ON -C cmake.build-type=RelWithDebInfo '.[test]'

echo "== native test: racing creation, nested jobs, a stop in a job's tail"
ctest --test-dir "$work/build" --output-on-failure -R '^pool/pool$'

echo "== module tests under ThreadSanitizer"
LD_PRELOAD="$tsan" python -m pytest -q -p no:cacheprovider tests/test_pool.py tests/test_interrupt.py
echo "== ThreadSanitizer pass"
