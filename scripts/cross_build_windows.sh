#!/usr/bin/env bash
# Cross-compiles the Windows build (every target that needs no Qt) with mingw-w64: configures and
# builds the "mingw" CMake preset into build-mingw/ (the programs and the platform contract tests,
# with GoogleTest built from its sources), then packs the ZIP and the NSIS installer
# (build-mingw/BrinmoorSentrel-VERSION-win64.zip and .exe). Installs the cross compiler, CMake,
# NSIS and the GoogleTest sources when they are missing. Any failure stops the script with a
# non-zero exit and a message saying which step failed. scripts/wine_tests.sh runs the result.
#
#   scripts/cross_build_windows.sh           configure, build and pack
#   scripts/cross_build_windows.sh --smoke   then run win32_smoke.exe under Wine (wine64 needed;
#                                            Wine's event log is a stub, so that part only prints)
set -euo pipefail

smoke=0
case "${1:-}" in
  "") ;;
  --smoke) smoke=1 ;;
  *) echo "usage: $0 [--smoke]" >&2; exit 2 ;;
esac

cd "$(dirname "$0")/.."

fail() {
  echo "cross_build_windows: FAILED: $*" >&2
  exit 1
}

install_packages() {
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || fail "need root or sudo to install: $*"
    sudo="sudo"
  fi
  $sudo apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "$@" ||
    fail "could not install: $*"
}

missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
command -v x86_64-w64-mingw32-gcc-posix >/dev/null || missing+=(gcc-mingw-w64-x86-64-posix)
command -v x86_64-w64-mingw32-windres >/dev/null || missing+=(binutils-mingw-w64-x86-64)
command -v cmake >/dev/null || missing+=(cmake)
command -v make >/dev/null || missing+=(make)
command -v makensis >/dev/null || missing+=(nsis)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
if [ ${#missing[@]} -gt 0 ]; then
  echo "cross_build_windows: installing ${missing[*]}"
  install_packages "${missing[@]}"
fi

cmake --preset mingw || fail "configure (cmake --preset mingw)"
cmake --build --preset mingw || fail "build (cmake --build --preset mingw)"
echo "cross_build_windows: build OK (build-mingw/)"
(cd build-mingw && cpack -G "ZIP;NSIS" >cpack.log 2>&1) ||
  fail "package (cpack in build-mingw, see build-mingw/cpack.log)"
echo "cross_build_windows: package OK ($(cd build-mingw && ls BrinmoorSentrel-*-win64.*))"

if [ "$smoke" -eq 1 ]; then
  wine=$(command -v wine64 || true)
  [ -n "$wine" ] || [ ! -x /usr/lib/wine/wine64 ] || wine=/usr/lib/wine/wine64
  [ -n "$wine" ] || fail "--smoke needs Wine (Debian package wine64)"
  wineserver="$(dirname "$(readlink -f "$wine")")/wineserver"
  prefix=$(mktemp -d)
  # Wait for this prefix's Wine server to save and exit before removing the prefix.
  trap 'WINEPREFIX="$prefix" "$wineserver" -w 2>/dev/null || true; rm -rf "$prefix"' EXIT
  WINEPREFIX="$prefix" WINEDEBUG=-all "$wine" build-mingw/bin/win32_smoke.exe ||
    fail "win32_smoke.exe under Wine"
  echo "cross_build_windows: smoke OK"
fi
