#!/usr/bin/env bash
# Installs what is missing, builds, and runs the iecx main job on its built-in default.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
exec build/iecx demo
