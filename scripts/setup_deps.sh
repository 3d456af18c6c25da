#!/usr/bin/env bash
# Installs the Debian packages the project needs, when they are missing.
# Usage: scripts/setup_deps.sh [build|test|all]   (default: all)
set -euo pipefail

what=${1:-all}
build_pkgs=(cmake make g++ pkg-config libsqlite3-dev sqlite3 libcurl4-openssl-dev libgtest-dev libgmock-dev libbenchmark-dev tzdata python3
  qt6-base-dev libgl-dev fonts-ipafont-gothic)
test_pkgs=(rsyslog python3-aiosmtpd iproute2 util-linux clang libclang-rt-14-dev
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 gcc-mingw-w64-x86-64 googletest wine wine64 nsis)

case "$what" in
  build) pkgs=("${build_pkgs[@]}") ;;
  test|all) pkgs=("${build_pkgs[@]}" "${test_pkgs[@]}") ;;
  *) echo "usage: $0 [build|test|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y \
  --no-install-recommends "${missing[@]}"
