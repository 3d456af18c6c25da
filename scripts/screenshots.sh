#!/usr/bin/env bash
# Writes PNG pictures of the configuration client's main window (its seven tabs, and a version 4
# computer), of the filter rule editor and of the message boxes a user meets most into
# build/screenshots/, then the first-start window, and every window in each of the five languages
# into build/screenshots/<code>/, on emulated computers made for the purpose (offscreen, no display
# needed).
#   scripts/screenshots.sh [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}

scripts/setup_deps.sh build
cmake --preset default >/dev/null
cmake --build --preset default --target client_screenshots
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen build/bin/client_screenshots "$out" 2> >(grep -v propagateSizeHints >&2)
