#!/usr/bin/env bash
# Builds and runs the tests under sanitizers: address (ASan+UBSan, all tests) and thread
# (TSan, the threaded subsystems). Usage: scripts/sanitize.sh [address|thread ...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
kinds=("$@")
[ ${#kinds[@]} -eq 0 ] && kinds=(address thread)
for kind in "${kinds[@]}"; do
  dir="build-$kind"
  IECX_BUILD_DIR="$dir" scripts/build.sh -DIECX_SANITIZE="$kind" -DIECX_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
  (cd "$dir" && ctest --output-on-failure -j"$(nproc)")
done
