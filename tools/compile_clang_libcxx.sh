#!/usr/bin/env bash
# Every source compiled and linked with Clang and LLVM's C++ library instead
# of GCC and libstdc++, warnings as errors: what builds on macOS and with
# clang-cl on Windows must not lean on GCC or on libstdc++. Compiles only;
# installs what it lacks with apt-get and CMake from PyPI, so it runs as root
# on Debian. Clang 16: its libc++ is the first with all of C++20 that the
# sources use (<source_location>), as Xcode 15's is.
#   tools/compile_clang_libcxx.sh [DIR]   (default: a fresh temporary directory)
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $# -gt 0 ]]; then
  mkdir -p "$1"
  work=$(cd "$1" && pwd)
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

missing=()
for p in clang-16 libc++-16-dev libc++abi-16-dev; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [[ ${#missing[@]} -gt 0 ]]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

python3 -m venv "$work/tools"
"$work/tools/bin/python" -m pip install -q --upgrade pip
"$work/tools/bin/python" -m pip install -q 'cmake>=3.26' ninja

rm -rf "$work/build"
echo "== compiling with $(clang++-16 --version | head -1) and libc++"
"$work/tools/bin/cmake" -S . -B "$work/build" -G Ninja -DCMAKE_MAKE_PROGRAM="$work/tools/bin/ninja" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++-16 -DCMAKE_CXX_FLAGS=-stdlib=libc++ \
  -DCMAKE_EXE_LINKER_FLAGS=-stdlib=libc++ -DCMAKE_SHARED_LINKER_FLAGS=-stdlib=libc++ \
  -DCMAKE_MODULE_LINKER_FLAGS=-stdlib=libc++ -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DPython_EXECUTABLE="$(command -v python3)" >"$work/cmake.log" || { cat "$work/cmake.log" >&2; exit 1; }
"$work/tools/bin/cmake" --build "$work/build" -j "$(nproc)"
echo "== every source compiles with Clang and libc++"
