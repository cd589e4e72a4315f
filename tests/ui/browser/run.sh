#!/usr/bin/env bash
# Runs the browser test of iecx ui in the Debian Chromium. Usage: run.sh <iecx> <station.scd> <artefact-dir>
# Exits 77 (skipped) with the reason when something it needs is missing.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
skip() { echo "SKIPPED: $*"; exit 77; }
command -v node >/dev/null || skip "node is not installed (scripts/setup.sh installs it)"
[ -x "${CHROMIUM:-/usr/bin/chromium}" ] || skip "chromium is not installed (scripts/setup.sh installs it)"
[ -d "$here/node_modules/playwright-core" ] || skip "playwright-core is missing: run scripts/setup.sh"
[ "$(id -u)" -eq 0 ] || skip "GOOSE on lo needs root"
exec node "$here/ui_test.js" "$@"
