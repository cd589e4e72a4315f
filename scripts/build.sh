#!/usr/bin/env bash
# Configures and builds iecx into build/ (or $IECX_BUILD_DIR). Extra arguments go to cmake.
# Uses ccache when it is installed, so rebuilds of unchanged sources are cheap.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${IECX_BUILD_DIR:-build}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
