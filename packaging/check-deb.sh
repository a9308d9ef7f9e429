#!/usr/bin/env bash
# Builds the Debian package from a built tree, unpacks it with dpkg -x into a scratch directory and
# checks that it holds what an installation needs (with Debian's copyright and changelog, and the udev
# rule of the USB adapter), that its version is the project's, and that both programs start with --help.
set -euo pipefail
build="${1:?build directory}"
version="${2:?project version}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb="$(ls "$work"/out/*.deb | head -n1)"
echo "package: $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Architecture Depends
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || { echo "package version is not $version"; exit 1; }
dpkg -x "$deb" "$work/root"
root="$work/root/usr"
doc="share/doc/nordalis"
rule="lib/udev/rules.d/60-nordalis-ds2490.rules"
for f in bin/nordalis bin/nordalis-cli share/applications/nordalis.desktop "$rule" \
         share/icons/hicolor/scalable/apps/nordalis.svg share/nordalis/home/NORDALIS.htm \
         share/nordalis/examples/LANGUAGE.TXT "$doc/copyright" "$doc/changelog.Debian.gz"; do
  [ -e "$root/$f" ] || { echo "missing in package: $f"; exit 1; }
done
head -n1 "$root/$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  { echo "copyright is not in the machine-readable format"; exit 1; }
grep -q '^License: GPL-3.0-or-later$' "$root/$doc/copyright" || { echo "copyright names no licence"; exit 1; }
gzip -t "$root/$doc/changelog.Debian.gz" || { echo "changelog.Debian.gz is damaged"; exit 1; }
gzip -dc "$root/$doc/changelog.Debian.gz" | sed -n 1p | grep -q "^nordalis ($version) " ||
  { echo "changelog does not start with version $version"; exit 1; }
grep -q '^Exec=nordalis' "$root/share/applications/nordalis.desktop"
# The udev rule: the DS2490 (vendor 04fa, product 2490) for the person at the computer.
grep -E '^SUBSYSTEM=="usb",.*ATTRS\{idVendor\}=="04fa", ATTRS\{idProduct\}=="2490",.*TAG\+="uaccess"' "$root/$rule" >/dev/null ||
  { echo "the udev rule does not give the DS2490 to the user"; exit 1; }
dpkg-deb --contents "$deb" >"$work/contents"
grep -q ' \./usr/lib/udev/rules\.d/60-nordalis-ds2490\.rules$' "$work/contents" ||
  { echo "the udev rule is not in /usr/lib/udev/rules.d"; exit 1; }
dpkg-deb --field "$deb" Depends | grep -q libqt6widgets6 || { echo "no Qt dependency recorded"; exit 1; }
"$root/bin/nordalis" --help | grep -q '^usage: nordalis'
"$root/bin/nordalis-cli" --help | grep -q 'init'
echo "both programs start from the unpacked package"
