#!/usr/bin/env bash
# Runs the whole test suite: installs what is missing, builds, runs every unit and integration
# test, then checks that the Windows build still compiles (mingw-w64).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup_deps.sh all
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default
scripts/cross_build_windows.sh
