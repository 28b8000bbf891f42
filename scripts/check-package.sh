#!/usr/bin/env bash
# Makes the Debian package (scripts/package.sh), checks it with lintian (any error fails),
# unpacks it into a scratch root, validates its desktop entry, file type and AppStream
# metainfo, and runs the installed programs' --version (no display needed).
# Usage: scripts/check-package.sh [build-dir]   (default: build-package)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build-package}"

DEB="$(scripts/package.sh "$BUILD_DIR" | tail -n 1)"
ROOT="$(mktemp -d)"
trap 'rm -rf "$ROOT"' EXIT
dpkg-deb -x "$DEB" "$ROOT"
echo "Package $DEB:"
dpkg-deb -f "$DEB" Package Version Depends

# Errors fail the check; warnings are shown so that they are seen.
echo "lintian:"
lintian --fail-on error --display-info "$DEB"

appstreamcli validate --no-net "$ROOT"/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$ROOT"/usr/share/applications/*.desktop
xmllint --noout "$ROOT"/usr/share/mime/packages/com.kestova.Downloader.xml
for size in 16x16 32x32 48x48 64x64 128x128 256x256; do
  test -f "$ROOT/usr/share/icons/hicolor/$size/apps/kestova-downloader.png"
done
for file in man/man1/kestova-downloader.1.gz man/man1/kestova-flash.1.gz \
            doc/kestova-downloader/copyright doc/kestova-downloader/changelog.gz \
            doc/kestova-downloader/README.md; do
  test -f "$ROOT/usr/share/$file"
done
test -f "$ROOT/usr/lib/udev/rules.d/70-kestova-tetherix.rules"
# The window's class, as docks match it to the menu entry.
grep -qx 'StartupWMClass=Kestova Firmware Downloader' "$ROOT"/usr/share/applications/*.desktop

"$ROOT/usr/bin/kestova-downloader" --version
"$ROOT/usr/bin/kestova-flash" --version
echo "Package check passed."
