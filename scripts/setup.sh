#!/usr/bin/env bash
# Installs every Debian package that building, running and testing need.
# Idempotent: when everything is present it only asks dpkg and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  nettle-dev libsqlite3-dev libjpeg-dev
  python3
  qt6-base-dev libxcb1-dev libxcb-keysyms1-dev
  libxlsxwriter-dev libfreexl-dev
  xvfb fonts-noto-cjk imagemagick
  openbox trayer xdotool x11-utils
  appstream desktop-file-utils qt6-translations-l10n
  python3-xlwt python3-openpyxl libreoffice-calc-nogui
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The lunar cross-check (tests/lunar/crosscheck.cmake) compares with a calendar
# library from npm, pinned in tools/lunar/package-lock.json. npm ci runs only
# when the lock file changed since the last install.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "setup: installing nodejs npm"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends nodejs npm
fi
lunar_tools="$(cd "$(dirname "${BASH_SOURCE[0]}")/../tools/lunar" && pwd)"
if ! cmp -s "$lunar_tools/package-lock.json" "$lunar_tools/node_modules/.installed-lock.json"; then
  echo "setup: npm ci --prefix tools/lunar"
  npm ci --prefix "$lunar_tools" --no-audit --no-fund --loglevel=error
  cp "$lunar_tools/package-lock.json" "$lunar_tools/node_modules/.installed-lock.json"
fi
