#!/usr/bin/env bash
# CI: the worker pool under ThreadSanitizer. Races the pool's creation, nests
# its jobs and stops one in its tail in a native driver built against the
# pool's sources, then builds the module with -fsanitize=thread and runs the
# pool's and the interruption tests with the runtime preloaded into the
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

echo "== native driver: racing creation, nested jobs, a stop in a job's tail"
c++ -std=c++20 -O1 -g -fsanitize=thread -Isrc -o "$work/pool_race" tests/native/pool_race.cc \
  src/pool/pool.cc src/pool/workers.cc src/platform/cpus.cc src/platform/fork.cc src/common/interrupt.cc \
  src/platform/coarse_clock.cc src/platform/thread_signals.cc
"$work/pool_race"

echo "== module tests under ThreadSanitizer"
python3 -m venv "$work/venv"
source "$work/venv/bin/activate"
python -m pip install -q --upgrade pip
python -m pip install -q -C build-dir="$work/build" \
  -C cmake.define.TAVIK_SANITIZE_THREAD=ON -C cmake.build-type=RelWithDebInfo '.[test]'
LD_PRELOAD="$tsan" python -m pytest -q -p no:cacheprovider tests/test_pool.py tests/test_interrupt.py
echo "== ThreadSanitizer pass"
