#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; exits with the tests' status.
# Extra arguments are passed to cmake (e.g. -DKX_SANITIZE=ON), BUILD_DIR picks the directory.
set -euo pipefail
cd "$(dirname "$0")"
SOURCE_DIR="$PWD"
BUILD_DIR="${BUILD_DIR:-build}"
scripts/setup.sh "$BUILD_DIR" -DKX_WERROR=ON "$@"
cd "$BUILD_DIR"
# Under ThreadSanitizer every test program, and every simulator or kestova-flash it starts, reads
# one list of the reports that come from Qt's own uninstrumented work; any other report fails
# its test. Other builds ignore the variable.
export TSAN_OPTIONS="suppressions=$SOURCE_DIR/tests/tsan-suppressions.txt:second_deadlock_stack=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
# Most tests wait on real timers and simulated lines rather than compute: three at a time per
# processor keeps the processors busy without starving any test. Under the sanitizers every test
# computes several times as much, and two at a time per processor is the most that leaves each
# its share. KX_CTEST_JOBS sets the number.
JOBS=$(( $(nproc) * 3 ))
if grep -qE '^KX_(SANITIZE|TSAN):BOOL=ON$' CMakeCache.txt; then
  JOBS=$(( $(nproc) * 2 ))
fi
# KX_CTEST_ARGS adds ctest arguments, e.g. "-E NAME" to leave a test out of one build's run.
# shellcheck disable=SC2086
ctest --output-on-failure --timeout 300 -j "${KX_CTEST_JOBS:-$JOBS}" ${KX_CTEST_ARGS:-}
