#!/usr/bin/env bash
# Installs what is missing, builds, and runs every check, stage after stage:
#   tests  the normal build (warnings are errors) and the whole test suite
#   asan   the whole suite under ASan+UBSan
#   tsan   the threaded subsystems' tests under TSan
#   fuzz   every fuzz target for a short bounded run on its corpus in fuzz/corpus/
# Usage: scripts/test.sh [--quick] [stage...]
#   --quick           the tests stage only (the same as naming it)
#   IECX_FUZZ_SECONDS seconds per fuzz target (default 30)
# Every stage runs even when an earlier one failed; the summary names each stage's result and
# time, and the exit status is 1 when any stage failed.
set -uo pipefail
cd "$(dirname "$0")/.."

stages=()
for arg in "$@"; do
  case "$arg" in
    --quick) stages+=(tests) ;;
    tests | asan | tsan | fuzz) stages+=("$arg") ;;
    -h | --help)
      sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *)
      echo "scripts/test.sh: unknown stage '$arg' (tests, asan, tsan, fuzz, --quick)" >&2
      exit 2
      ;;
  esac
done
[ ${#stages[@]} -eq 0 ] && stages=(tests asan tsan fuzz)

scripts/setup.sh || { echo "=== setup FAILED"; exit 1; }

# The normal build installs like a Debian package would (lib/<multiarch>), so that the install
# test checks that layout; a developer's scripts/build.sh uses the plain lib/.
stage_tests() {
  local libdir=lib
  command -v gcc >/dev/null && [ -n "$(gcc -print-multiarch 2>/dev/null)" ] && libdir="lib/$(gcc -print-multiarch)"
  scripts/build.sh -DCMAKE_INSTALL_LIBDIR="$libdir" && (cd build && ctest --output-on-failure --no-tests=error -j"$(nproc)")
}
stage_asan() { scripts/sanitize.sh address; }
stage_tsan() { scripts/sanitize.sh thread; }
stage_fuzz() { scripts/fuzz.sh --check "${IECX_FUZZ_SECONDS:-30}"; }

# CPU seconds (user + system) of every finished child process so far: with the wall time it
# shows how much of a stage was waiting for a loaded machine.
# (`times` runs in this shell, so that it sees this shell's children.)
# The result goes to $cpu (a command substitution would run `times` in a fresh subshell).
cpu_seconds() {
  times >"$times_file"
  cpu=$(tail -1 "$times_file" | awk '{ split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%d", u[1] * 60 + u[2] + s[1] * 60 + s[2] }')
}
times_file=$(mktemp /tmp/iecx-times-XXXXXX)
run_started=$(mktemp /tmp/iecx-started-XXXXXX) # older than every log this run writes
trap 'rm -f "$times_file" "$run_started"' EXIT

summary=()
failed=0
total_start=$SECONDS
for stage in "${stages[@]}"; do
  echo "=== stage $stage: start ($(date -u +%H:%M:%S))"
  start=$SECONDS
  cpu_seconds
  cpu_start=$cpu
  if "stage_$stage"; then
    result=passed
  else
    result=FAILED
    failed=1
  fi
  cpu_seconds
  line=$(printf '%-6s %-6s %5ds wall %6ds cpu' "$stage" "$result" $((SECONDS - start)) $((cpu - cpu_start)))
  echo "=== stage $line"
  summary+=("$line")
done

echo "=== summary (total $((SECONDS - total_start))s)"
printf '    %s\n' "${summary[@]}"
[ $failed -eq 0 ] || echo "=== FAILED: $(printf '%s\n' "${summary[@]}" | awk '$2 == "FAILED" {print $1}' | xargs)"
# The failed cases of each test stage, again at the end: a long log is often cut in the middle.
for dir in build build-address build-thread; do
  log="$dir/Testing/Temporary/LastTestsFailed.log"
  [ $failed -ne 0 ] && [ -s "$log" ] && [ "$log" -nt "$run_started" ] && echo "=== failed in $dir:" && sed 's/^/    /' "$log"
done
exit $failed
