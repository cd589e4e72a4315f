#!/usr/bin/env bash
# Builds and runs the tests under sanitizers: address (ASan+UBSan, the whole suite) and thread
# (TSan, the tests of the threaded subsystems, labelled "threaded" in tests/CMakeLists.txt).
# Benchmarks are not built. Usage: scripts/sanitize.sh [address|thread ...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
kinds=("$@")
[ ${#kinds[@]} -eq 0 ] && kinds=(address thread)
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
for kind in "${kinds[@]}"; do
  dir="build-$kind"
  case "$kind" in
    address) targets="" labels=() ;;
    thread) targets="iecx_threaded_tests" labels=(-L threaded) ;;
    *) echo "scripts/sanitize.sh: unknown sanitizer '$kind' (address, thread)" >&2; exit 2 ;;
  esac
  IECX_TARGETS="$targets" IECX_BUILD_DIR="$dir" scripts/build.sh -DIECX_SANITIZE="$kind" \
    -DIECX_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  (cd "$dir" && ctest --output-on-failure --no-tests=error -j"$(nproc)" "${labels[@]}")
done
