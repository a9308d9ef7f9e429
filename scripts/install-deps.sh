#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need; does nothing for packages already there.
set -euo pipefail
pkgs=(
  cmake g++ make ccache pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-serialport-dev libgl-dev
  libsqlite3-dev sqlite3 libxlsxwriter-dev libzip-dev zlib1g-dev
  libgtest-dev libgmock-dev
  fonts-liberation fonts-dejavu-core
  python3 python3-openpyxl python3-docx
  attr xauth xvfb xdotool
  poppler-utils
  dpkg-dev file
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
