#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on its corpus
# fuzz/corpus/<target>/ (target = file name in fuzz/ without .cpp).
# Usage: scripts/fuzz.sh [--check] [seconds] [target-name-substring]
#   default   a campaign: targets one after the other (default 60 s each); inputs that reach new
#             code are merged into the corpus, findings are left as fuzz/crash-* files.
#   --check   the CI run: as many targets at once as there are cores (default 30 s each); the
#             corpus is only read, new inputs go to a temporary directory.
#   IECX_FUZZ_RUNS=N  a target also ends after N executions (a campaign of "N runs or S seconds").
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
if [ "${1:-}" = "--check" ]; then
  check=1
  shift
fi
seconds="${1:-$([ $check -eq 1 ] && echo 30 || echo 60)}"
filter="${2:-}"
scripts/setup.sh
IECX_TARGETS=iecx_fuzz_targets CC=clang CXX=clang++ IECX_BUILD_DIR=build-fuzz scripts/build.sh \
  -DIECX_FUZZ=ON -DIECX_TESTS=OFF -DIECX_BENCH=OFF

work=$(mktemp -d /tmp/iecx-fuzz-XXXXXX)
trap 'rm -rf "$work"' EXIT

# run_target <name>: one bounded run; prints one result line, the log's tail on a finding.
run_target() {
  local name="$1" corpus="fuzz/corpus/$1" fresh="$work/$1" log="$work/$1.log" status=0
  mkdir -p "$corpus" "$fresh"
  local args=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1)
  [ -n "${IECX_FUZZ_RUNS:-}" ] && args+=(-runs="$IECX_FUZZ_RUNS")
  if [ $check -eq 1 ]; then
    build-fuzz/fuzz/"fuzz_$name" "${args[@]}" -artifact_prefix="$work/$name-" "$fresh" "$corpus" >"$log" 2>&1 || status=$?
  else
    build-fuzz/fuzz/"fuzz_$name" "${args[@]}" -artifact_prefix="fuzz/" "$fresh" "$corpus" >"$log" 2>&1 || status=$?
    build-fuzz/fuzz/"fuzz_$name" -merge=1 "$corpus" "$fresh" >>"$log" 2>&1 || true
  fi
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  if [ $status -eq 0 ]; then
    printf '  %-22s ok      %10s runs, corpus %d files\n' "$name" "${runs:-?}" "$(ls "$corpus" | wc -l)"
  else
    printf '  %-22s FINDING (exit %d)\n' "$name" "$status"
    tail -n 60 "$log" | sed 's/^/    /'
    return 1
  fi
}

names=()
for src in fuzz/*.cpp; do
  name=$(basename "$src" .cpp)
  case "$name" in *"$filter"*) names+=("$name") ;; esac
done
echo "fuzzing ${#names[@]} targets for ${seconds}s each"
failed=0
if [ $check -eq 1 ]; then
  export -f run_target
  export seconds check work
  printf '%s\n' "${names[@]}" | xargs -P"$(nproc)" -I{} bash -c 'run_target {}' || failed=1
else
  for name in "${names[@]}"; do run_target "$name" || failed=1; done
fi
exit $failed
