#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; exits with the tests' status.
# Extra arguments are passed to cmake (e.g. -DKX_SANITIZE=ON), BUILD_DIR picks the directory.
set -euo pipefail
cd "$(dirname "$0")"
BUILD_DIR="${BUILD_DIR:-build}"
scripts/setup.sh "$BUILD_DIR" -DKX_WERROR=ON "$@"
cd "$BUILD_DIR"
# Most tests wait on real timers and simulated lines rather than compute: two at a time per
# processor keeps the processors busy without starving any test.
ctest --output-on-failure --timeout 300 -j "$(( $(nproc) * 2 ))"
