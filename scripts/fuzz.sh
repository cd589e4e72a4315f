#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while (default 60 s).
# Usage: scripts/fuzz.sh [seconds] [target-name-substring]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
seconds="${1:-60}"
filter="${2:-}"
CC=clang CXX=clang++ IECX_BUILD_DIR=build-fuzz scripts/build.sh -DIECX_FUZZ=ON -DIECX_TESTS=OFF -DIECX_BENCH=OFF
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  case "$target" in *"$filter"*) ;; *) continue ;; esac
  corpus="fuzz/corpus-$(basename "$target")"
  mkdir -p "$corpus"
  echo "== $(basename "$target") for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 "$corpus"
done
