#!/usr/bin/env bash
# Makes the Debian package from a built tree, unpacks it into a scratch root, validates its
# desktop entry and AppStream metainfo, and runs the installed programs' --version (no display
# needed). Usage: scripts/check-package.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"

rm -f "$BUILD_DIR"/kestova-downloader_*.deb
(cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
DEB="$(ls "$BUILD_DIR"/kestova-downloader_*.deb)"
ROOT="$(mktemp -d)"
trap 'rm -rf "$ROOT"' EXIT
dpkg-deb -x "$DEB" "$ROOT"
echo "Package $DEB:"
dpkg-deb -f "$DEB" Package Version Depends

appstreamcli validate --no-net "$ROOT"/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$ROOT"/usr/share/applications/*.desktop
for size in 16x16 32x32 48x48 64x64 128x128 256x256; do
  test -f "$ROOT/usr/share/icons/hicolor/$size/apps/kestova-downloader.png"
done
test -f "$ROOT/usr/share/man/man1/kestova-downloader.1"
test -f "$ROOT/usr/share/man/man1/kestova-flash.1"
test -f "$ROOT/usr/lib/udev/rules.d/70-kestova-tetherix.rules"

"$ROOT/usr/bin/kestova-downloader" --version
"$ROOT/usr/bin/kestova-flash" --version
echo "Package check passed."
