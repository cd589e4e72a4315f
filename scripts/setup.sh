#!/usr/bin/env bash
# Installs the Debian packages that building and testing iecx need.
# Idempotent: apt-get runs only when something is missing, and updates its lists once.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang
  libxml++2.6-dev libglibmm-2.4-dev libsigc++-2.0-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  iproute2 tshark libclang-rt-14-dev nlohmann-json3-dev
  ccache libcli11-dev libcpp-httplib-dev
  chromium nodejs
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  # tshark asks whether non-root users may capture; answer no without a prompt.
  echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections || true
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The browser test drives Chromium through playwright-core, installed from the lock file into the
# test's folder. The Debian Chromium is the browser: never download one.
browser_tests="$(cd "$(dirname "$0")/.." && pwd)/tests/ui/browser"
if ! command -v npm >/dev/null 2>&1; then
  # Debian packages npm apart from nodejs (other node builds bring their own).
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends npm
fi
if [ ! -d "$browser_tests/node_modules/playwright-core" ]; then
  (cd "$browser_tests" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --ignore-scripts)
fi
