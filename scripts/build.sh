#!/usr/bin/env bash
# Configures and builds iecx into build/ (or $IECX_BUILD_DIR) with warnings as errors. Extra
# arguments go to cmake; $IECX_TARGETS (space-separated) builds only those targets.
# Uses ccache when it is installed, so rebuilds of unchanged sources are cheap.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${IECX_BUILD_DIR:-build}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
targets=()
[ -n "${IECX_TARGETS:-}" ] && read -r -a targets <<<"--target $IECX_TARGETS"
cmake -S . -B "$dir" -G Ninja "${launcher[@]}" -DIECX_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
