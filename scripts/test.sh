#!/usr/bin/env bash
# Runs the whole test suite: installs what is missing, builds, runs every unit and integration
# test, runs the unit tests again under the address and undefined behaviour sanitizers, runs each
# fuzz target for a short while, cross-builds the Windows programs and package (mingw-w64, NSIS)
# and runs them under Wine: the platform contract tests, the service's life, the installer.
#   scripts/test.sh          everything
#   scripts/test.sh --quick  the default build and its tests only
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup_deps.sh all
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default
[ "${1:-}" = "--quick" ] && exit 0

echo "== sanitizers (address, undefined) =="
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -L unit

echo "== fuzz targets =="
scripts/fuzz.sh 10

echo "== Windows cross build =="
scripts/cross_build_windows.sh

echo "== the Windows build under Wine =="
scripts/wine_tests.sh
