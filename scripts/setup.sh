#!/usr/bin/env bash
# Installs the Debian packages the downloader needs that are not on this machine yet, then
# configures and builds into the given build directory (default: build/).
# Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
# KX_TARGETS="a b" builds only those targets (default: everything). The compiler goes through
# ccache, so that a second build directory or a fresh clone reuses what was compiled before.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(cmake ninja-build g++ pkg-config ccache qt6-base-dev libcurl4-openssl-dev
          libcpp-httplib-dev libssl-dev libudev-dev googletest libgtest-dev libgmock-dev
          libbenchmark-dev xvfb xauth appstream desktop-file-utils curl dpkg-dev lintian
          libxml2-utils umockdev libumockdev-dev dbus-daemon at-spi2-core python3-pyatspi
          python3-dbusmock mold)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Paths inside the source tree are hashed relative to it, so that every clone of the project on
# this machine (another folder, a CI checkout) shares one compiler cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
# With -DKX_PCH=ON the targets share precompiled headers (cmake/Precompiled.cmake), which ccache
# caches only when told that no source depends on __DATE__/__TIME__ or on macros defined before
# the header.
export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros}"

BUILD_DIR="${1:-build}"
shift || true
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@"
TARGET_ARGS=()
for t in ${KX_TARGETS:-}; do TARGET_ARGS+=(--target "$t"); done
cmake --build "$BUILD_DIR" -j "$(nproc)" "${TARGET_ARGS[@]}"
