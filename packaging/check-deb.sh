#!/usr/bin/env bash
# Builds the Debian package from a built tree, unpacks it with dpkg -x into a scratch directory and
# checks that it holds what an installation needs and that both programs start with --help.
set -euo pipefail
build="${1:?build directory}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb="$(ls "$work"/out/*.deb | head -n1)"
echo "package: $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Architecture Depends
dpkg -x "$deb" "$work/root"
root="$work/root/usr"
for f in bin/nordalis bin/nordalis-cli share/applications/nordalis.desktop \
         share/icons/hicolor/scalable/apps/nordalis.svg share/nordalis/home/NORDALIS.htm \
         share/nordalis/examples/LANGUAGE.TXT; do
  [ -e "$root/$f" ] || { echo "missing in package: $f"; exit 1; }
done
grep -q '^Exec=nordalis' "$root/share/applications/nordalis.desktop"
dpkg-deb --field "$deb" Depends | grep -q libqt6widgets6 || { echo "no Qt dependency recorded"; exit 1; }
"$root/bin/nordalis" --help | grep -q '^usage: nordalis'
"$root/bin/nordalis-cli" --help | grep -q 'init'
echo "both programs start from the unpacked package"
