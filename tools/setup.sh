#!/usr/bin/env bash
# Installs what building, running and testing Tessolo needs on Debian 12.
# Safe to run again: apt-get and npm only add what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(
  build-essential cmake ninja-build pkg-config ccache clang-tidy clang-format
  qt6-base-dev qt6-base-private-dev qt6-webengine-dev qt6-pdf-dev qt6-httpserver-dev qt6-websockets-dev qt6-webchannel-dev
  libqt6webenginecore6-bin
  libsqlite3-dev sqlite3 zlib1g-dev libgtest-dev libbenchmark-dev
  dpkg-dev lintian desktop-file-utils appstream curl
  fonts-ipafont-gothic fonts-ipafont-mincho qt6-translations-l10n poppler-utils
  chromium
  xvfb xdotool x11-utils dbus-x11 ibus ibus-mozc imagemagick
  postgresql libpq-dev libquazip1-qt6-dev libxlsxwriter-dev clazy
)
# Node.js may come from elsewhere than Debian; only add it where it is missing.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The map page's libraries (Leaflet, Leaflet.markercluster, topojson-client),
# at the versions package-lock.json fixes; the configure step refuses to build
# without them.
if [ -f package-lock.json ]; then
  npm ci --no-audit --no-fund --loglevel=error
fi
