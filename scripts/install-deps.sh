#!/usr/bin/env bash
# Installs the Debian packages NORDALIS needs; does nothing for packages already there.
#   scripts/install-deps.sh               everything: the build, the tests, the demo and the tools
#   scripts/install-deps.sh --build-only  only what building the programs and the .deb needs
#                                         (configure with -DBUILD_TESTING=OFF then)
set -euo pipefail
# Building the programs and the Debian package (cpack runs dpkg-shlibdeps, which uses file).
build_pkgs=(
  cmake g++ make ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlite3-dev libxlsxwriter-dev libzip-dev zlib1g-dev libusb-1.0-0-dev
  dpkg-dev file
)
# The tests and the demo: GoogleTest, fonts for drawing, the readers of exported files (Python
# with openpyxl and python-docx, LibreOffice without a window), a virtual
# X display driven by xdotool, pdftoppm for looking at printouts, git for the CI checkout.
test_pkgs=(
  libgtest-dev libgmock-dev
  fonts-liberation fonts-dejavu-core
  python3 python3-openpyxl python3-docx
  libreoffice-writer-nogui libreoffice-calc-nogui
  xvfb xdotool
  poppler-utils
  git
)
case "${1:-}" in
  "") pkgs=("${build_pkgs[@]}" "${test_pkgs[@]}") ;;
  --build-only) pkgs=("${build_pkgs[@]}") ;;
  *) echo "usage: $0 [--build-only]" >&2; exit 2 ;;
esac
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
