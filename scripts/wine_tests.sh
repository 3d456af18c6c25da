#!/usr/bin/env bash
# Runs the Windows build under Wine (Debian packages wine and wine64):
#   1. the platform contract tests against the Win32 platform, for code page 1252 and, with a
#      Japanese locale on the Wine command line, for 932;
#   2. vaskwell.exe as a Windows service, from -i to -u (tests/wine/vaskwell_service_test.sh);
#   3. the installer: silent installation, start and stop, uninstallation
#      (tests/wine/package_test.sh).
# It needs the Windows build and its package (scripts/cross_build_windows.sh) and the contract
# fixtures of the default build (build/tests/contract/fixtures). Everything runs in a private
# network namespace (unshare -rn, loopback up) with a Wine server of its own, started there, and a
# fresh Wine prefix in a temporary directory that is removed at the end. Each step's time is
# printed. Wine's event log calls are stubs: the service's events are checked in Wine's trace of
# them.
#
#   scripts/wine_tests.sh [--keep]   --keep: leave the prefix and the logs in place
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

fail() {
  echo "wine_tests: FAILED: $*" >&2
  exit 1
}

keep=0
case "${1:-}" in
  "") ;;
  --keep) keep=1 ;;
  *) echo "usage: $0 [--keep]" >&2; exit 2 ;;
esac

contract_exe=build-mingw/bin/platform_contract_test.exe
vaskwell_exe=build-mingw/bin/vaskwell.exe
fixtures=build/tests/contract/fixtures
installer=$(ls build-mingw/BrinmoorSentrel-*-win64.exe 2>/dev/null | head -n 1 || true)

if [ -z "${SENTREL_WINE_NETNS:-}" ]; then
  command -v wine >/dev/null && command -v wineserver >/dev/null ||
    fail "Wine is missing (scripts/setup_deps.sh installs wine and wine64)"
  for f in "$contract_exe" "$vaskwell_exe" "$fixtures/contract_messages.dll"; do
    [ -e "$f" ] || fail "$f is missing: run the default build and scripts/cross_build_windows.sh"
  done
  [ -n "$installer" ] || fail "no installer in build-mingw: run scripts/cross_build_windows.sh"
  unshare -rn true 2>/dev/null || fail "unshare -rn was refused: user and network namespaces needed"
  exec unshare -rn env SENTREL_WINE_NETNS=1 "$0" "$@"
fi

ip link set lo up
work=$(mktemp -d "${TMPDIR:-/tmp}/sentrel-wine-XXXXXX")
export WINEPREFIX=$work/prefix
# No debug output, and no offer to install Wine's .NET and HTML engines into the new prefix.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export SERVICES_LOG=$work/services.log
echo_pid=

cleanup() {
  [ -z "$echo_pid" ] || kill "$echo_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if [ "$keep" -eq 1 ]; then
    echo "wine_tests: kept $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

now_ms() { date +%s%3N; }
began=$(now_ms)
step_began=$began
step_done() {
  local t
  t=$(now_ms)
  printf 'wine_tests: %s (%d.%03d s)\n' "$1" $(((t - step_began) / 1000)) $(((t - step_began) % 1000))
  step_began=$t
}

# A new prefix is made by one server; the steps then run under a persistent one (services die
# with the server otherwise). The first program of that server starts Wine's services, which
# keep its standard error: with the event log channel traced, it receives what the service
# reports.
wine wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot -i (see $work/wineboot.log)"
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p
WINEDEBUG=-all,+eventlog,fixme+advapi wine cmd /c exit >/dev/null 2>"$SERVICES_LOG"
step_done "a new Wine prefix"

python3 tests/wine/echo_listener.py 50007 >"$work/echo.log" 2>&1 &
echo_pid=$!
for _ in $(seq 100); do
  grep -q ready "$work/echo.log" && break
  sleep 0.1
done
grep -q ready "$work/echo.log" || fail "the echo listener did not start: $(cat "$work/echo.log")"
windows_fixtures="Z:$(printf '%s' "$root/$fixtures" | tr / '\\')"
CONTRACT_FIXTURES=$windows_fixtures CONTRACT_ECHO_PORT=50007 CONTRACT_ACP=1252 \
  wine "$contract_exe" --gtest_brief=1 || fail "contract tests, code page 1252"
CONTRACT_FIXTURES=$windows_fixtures CONTRACT_ACP=932 LC_ALL=ja_JP.UTF-8 \
  wine "$contract_exe" --gtest_brief=1 --gtest_filter='CodePage*' || fail "contract tests, code page 932"
step_done "platform contract tests (1252 and 932)"

tests/wine/vaskwell_service_test.sh "$vaskwell_exe" || fail "vaskwell as a service"
step_done "vaskwell as a Windows service"

tests/wine/package_test.sh "$installer" || fail "the installer"
step_done "the installer"

step_began=$began
step_done "all Wine steps"
