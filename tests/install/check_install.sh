#!/usr/bin/env bash
# Installs the built library into a temporary prefix, then builds and runs a consumer through
# find_package(iecx) and through pkg-config. Usage: check_install.sh <build-dir> <source-dir>
set -euo pipefail
build="$1"
source="$2"
work=$(mktemp -d /tmp/iecx-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/tests/install/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
out=$(LD_LIBRARY_PATH="$work/prefix/lib" "$work/consumer/consumer")
[ "$out" = "IEC-61850 1" ] || { echo "find_package consumer printed '$out'"; exit 1; }
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
g++ -std=c++17 "$source/tests/install/consumer/main.cpp" -o "$work/pc" $(pkg-config --cflags --libs iecx)
out=$(LD_LIBRARY_PATH="$work/prefix/lib" "$work/pc")
[ "$out" = "IEC-61850 1" ] || { echo "pkg-config consumer printed '$out'"; exit 1; }
readlink "$work/prefix/lib/libiecx.so" | grep -q '^libiecx.so.0$' || { echo "SONAME link missing"; exit 1; }
echo "install ok"
