#!/usr/bin/env bash
# Builds the Debian package, unpacks it into an empty directory tree with dpkg -x (no
# installation on this machine) and checks that its files are in place and that both programs
# start from there and answer --help. Usage: scripts/check-deb.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" -j2 --target nordalis nordalis-cli
(cd "$BUILD" && cpack -G DEB >/dev/null)
DEB="$(ls -t "$BUILD"/nordalis_*.deb | head -n1)"
echo "package: $DEB"
dpkg-deb --field "$DEB" Package Version Architecture Depends

ROOT="$(mktemp -d)"
trap 'rm -rf "$ROOT"' EXIT
dpkg -x "$DEB" "$ROOT"
fail=0
for f in usr/bin/nordalis usr/bin/nordalis-cli usr/share/applications/nordalis.desktop \
         usr/share/icons/hicolor/scalable/apps/nordalis.svg usr/share/nordalis/examples/LANGUAGE.TXT; do
  if [ -e "$ROOT/$f" ]; then echo "ok    /$f"; else echo "MISSING /$f"; fail=1; fi
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$ROOT/usr/share/applications/nordalis.desktop" || fail=1
fi

# The programs must not touch this machine's own application directory or configuration.
export HOME="$ROOT/home" XDG_DATA_HOME="$ROOT/home/data" XDG_CONFIG_HOME="$ROOT/home/config"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$ROOT/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
for prog in nordalis nordalis-cli; do
  if out="$(timeout 20 "$ROOT/usr/bin/$prog" --help 2>&1)"; then
    echo "ok    $prog --help: $(printf '%s\n' "$out" | grep -m1 usage)"
  else
    echo "FAILED $prog --help"; printf '%s\n' "$out"; fail=1
  fi
done
# Its dependencies resolve against this machine's package lists (a simulation: nothing is installed).
if command -v apt-get >/dev/null; then
  if apt-get install -s "$(realpath "$DEB")" >"$ROOT/apt.log" 2>&1 && grep -q '^Inst nordalis' "$ROOT/apt.log"; then
    echo "ok    apt-get install -s: the dependencies resolve"
  else
    echo "FAILED apt-get install -s"; cat "$ROOT/apt.log"; fail=1
  fi
fi

# The embedded application-directory files install on a first run from the unpacked program.
APP="$ROOT/home/app"
if timeout 20 "$ROOT/usr/bin/nordalis-cli" --home "$APP" --registry "$ROOT/home/registry.ini" init --site 1001 >/dev/null &&
   [ -f "$APP/data/NORDALIS.MDE" ] && [ -d "$APP/reports/styles" ] && [ -f "$APP/NORDALIS.htm" ]; then
  echo "ok    nordalis-cli init installs an application directory"
else
  echo "FAILED nordalis-cli init"; fail=1
fi
if [ "$fail" -ne 0 ]; then echo "check-deb: FAILED"; exit 1; fi
echo "check-deb: the package unpacks and both programs start"
