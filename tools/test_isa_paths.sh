#!/usr/bin/env bash
# Builds the module once per SIMD path this machine runs (TAVIK_ISA=portable,
# avx2, avx512; see src/platform/simd.h), each in its own virtual environment,
# and runs the tests of every vectorised kernel on each: they compare results
# with the pure-Python models bit for bit, so every path must give the same
# bits. With a directory argument the environments are kept there, for
#   python benchmarks/bench_isa_paths.py PATH=DIR/PATH/site-packages ...
# (printed at the end); without one they live in a temporary directory.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $# -gt 0 ]]; then
  mkdir -p "$1"
  work=$(cd "$1" && pwd)
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

kernel_tests=(tests/test_enumeration.py tests/test_statevector.py tests/test_noisy_runs.py tests/test_lookup_table.py tests/test_failure_probability.py
              tests/test_stoer_wagner.py tests/test_reconstruct.py tests/test_interrupt.py
              tests/test_qubo.py tests/test_circuits.py)

# Whether the CPU (and operating system) runs an x86-64 level, asked the way
# the module asks it.
runs_level() {
  printf 'int main() { return !__builtin_cpu_supports("%s"); }\n' "$1" | g++ -x c++ - -o "$work/probe" && "$work/probe"
}

paths=(portable)
if [[ $(uname -m) == x86_64 ]]; then
  runs_level x86-64-v3 && paths+=(avx2) || echo "== avx2: this CPU lacks it, skipped"
  runs_level x86-64-v4 && paths+=(avx512) || echo "== avx512: this CPU lacks it, skipped"
fi

bench=()
for path in "${paths[@]}"; do
  echo "== TAVIK_ISA=$path"
  rm -rf "$work/$path"
  python3 -m venv "$work/$path"
  (
    source "$work/$path/bin/activate"
    python -m pip install -q --upgrade pip
    python -m pip install -q -C cmake.define.TAVIK_ISA="$path" -C build-dir="$work/build-$path" '.[test]'
    python -m pytest -q -p no:cacheprovider "${kernel_tests[@]}"
  )
  bench=("$path=$(echo "$work/$path"/lib/python3*/site-packages)" "${bench[@]}")  # widest first: ratios are to it
done
echo "== every SIMD path passed: ${paths[*]}"
if [[ $# -gt 0 ]]; then
  echo "timings: taskset -c 0 python benchmarks/bench_isa_paths.py ${bench[*]}"
fi
