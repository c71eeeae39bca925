#!/usr/bin/env bash
# The extension modules for Linux aarch64, cross-compiled with Debian's cross
# toolchain, then the whole test suite run on them under qemu-user, by the
# interpreter, NumPy, pytest, hypothesis and networkx of an arm64 Debian tree
# (Debian's own packages, unpacked from its arm64 archive).
#   tools/cross_aarch64.sh [DIR]           build and test; the tree is made in
#                                          DIR/root, kept and reused (default:
#                                          a fresh temporary directory)
#   tools/cross_aarch64.sh --compile-only  build only, against the host
#                                          interpreter's headers (the stable
#                                          ABI's are the same on every 64-bit
#                                          Linux): no tree, for CI
# Installs what it lacks with apt-get (the cross compiler, qemu-user,
# debootstrap) and CMake from PyPI, so it runs as root on Debian.
set -euo pipefail
cd "$(dirname "$0")/.."

compile_only=0
if [[ ${1:-} == --compile-only ]]; then
  compile_only=1
  shift
fi
if [[ $# -gt 0 ]]; then
  mkdir -p "$1"
  work=$(cd "$1" && pwd)
  shift
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

suite=bookworm  # the tree's Python must be 3.11 or later, its NumPy 1.24 or later
python_version=3.11
packages=(g++-aarch64-linux-gnu)
[[ $compile_only == 1 ]] || packages+=(qemu-user debootstrap)
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [[ ${#missing[@]} -gt 0 ]]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The build's own CMake and Ninja: the system's may be older than the
# project asks for.
python3 -m venv "$work/tools"
"$work/tools/bin/python" -m pip install -q --upgrade pip
"$work/tools/bin/python" -m pip install -q 'cmake>=3.26' ninja

root=$work/root
if [[ $compile_only == 1 ]]; then
  python_include=$(python3 -c 'import sysconfig; print(sysconfig.get_paths()["include"])')
elif [[ ! -x $root/usr/bin/python$python_version ]]; then
  echo "== arm64 Debian tree in $root"
  # Unpacked, not installed: the packages' scripts would need the emulator
  # inside the tree, and the tests need only their files.
  debootstrap --arch=arm64 --foreign --variant=minbase \
    --include="python3,python3-dev,python3-numpy,python3-pytest,python3-hypothesis,python3-networkx" \
    "$suite" "$root" http://deb.debian.org/debian >"$work/debootstrap.log"
  for deb in "$root"/var/cache/apt/archives/*.deb; do dpkg-deb -x "$deb" "$root"; done
  # What update-alternatives would have linked for NumPy.
  for lib in blas lapack; do ln -sf "$lib/lib$lib.so.3" "$root/usr/lib/aarch64-linux-gnu/lib$lib.so.3"; done
fi
if [[ $compile_only == 0 ]]; then
  # The tree's pyconfig.h includes its aarch64 one from the tree's include
  # directory; searched last, so that the cross toolchain's own C and C++
  # headers come first.
  python_include=$root/usr/include/python$python_version
  extra_flags="-idirafter $root/usr/include"
fi

echo "== cross-compiling for aarch64"
"$work/tools/bin/cmake" -S . -B "$work/build" -G Ninja -DCMAKE_MAKE_PROGRAM="$work/tools/bin/ninja" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=aarch64 \
  -DCMAKE_CXX_COMPILER=aarch64-linux-gnu-g++ -DCMAKE_CXX_FLAGS="${extra_flags:-}" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DPython_EXECUTABLE="$(command -v python3)" -DPython_INCLUDE_DIR="$python_include" >"$work/cmake.log" ||
  { cat "$work/cmake.log" >&2; exit 1; }
"$work/tools/bin/cmake" --build "$work/build" -j "$(nproc)"
for module in "$work"/build/*.so; do
  aarch64-linux-gnu-readelf -h "$module" | grep -q AArch64 || { echo "$module is not an aarch64 module" >&2; exit 1; }
done
[[ $compile_only == 0 ]] || { echo "== every source compiles for aarch64"; exit 0; }

echo "== the test suite under qemu-aarch64"
rm -rf "$work/site" "$work/bin"
mkdir -p "$work/site" "$work/bin"
cp -r python/tavik "$work/site/"
cp "$work"/build/*.so "$work/site/tavik/"
# The interpreter, and the C compiler the tests build their preload shims
# with, as programs of this machine that make aarch64 code.
gcc -static -O1 -DROOT="\"$root\"" -DINTERPRETER="\"$root/usr/bin/python$python_version\"" \
  -o "$work/bin/python3" tools/qemu_launcher.c
printf '#!/bin/sh\nexec aarch64-linux-gnu-gcc "$@"\n' >"$work/bin/cc"
chmod +x "$work/bin/cc"
start=$SECONDS
# Emulation runs the CPU some twenty times slower: time bounds stretch with
# it. Left out: forking a process whose pool threads run, then using the pool
# in the child, which qemu-user 7.2 itself cannot emulate (it fails its own
# assertions, "cpu == current_cpu", as the child starts threads).
PATH="$work/bin:$PATH" PYTHONPATH="$work/site" PYTHONDONTWRITEBYTECODE=1 TAVIK_TEST_SLOWDOWN=20 "$work/bin/python3" \
  -m pytest -q -p no:cacheprovider -rs -k "not after_fork" tests
echo "== the suite passed on aarch64 in $((SECONDS - start)) s"
