#!/usr/bin/env bash
# ntbox sc and ntbox boot on a fresh emulated computer, with the small test service: create in
# sc.exe syntax, boot starts the automatic service, query shows it running, stop waits for the
# stop, the failures print sc.exe's "[SC] ... FAILED N:" lines, delete removes it.
# Usage: ntbox_sc_test.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: ntbox_sc_test.sh BUILD_DIR}" && pwd)
ntbox=$build/bin/ntbox
service=$build/bin/fake_service
work=$(mktemp -d)
export NTBOX_MACHINE=$work/SRV1
# Stop what a failed step left running before removing the computer.
trap '"$ntbox" sc stop "Fake Svc" --wait 5 >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

. "$(dirname "${BASH_SOURCE[0]}")/lib/check.sh"

# expect_out PATTERN COMMAND...: the command's standard output must contain PATTERN.
expect_out() {
  local pattern=$1
  shift
  "$@" >"$work/out" 2>&1 || true
  grep -qF -- "$pattern" "$work/out" || fail "'$*' did not say '$pattern'; it said: $(cat "$work/out")"
}
# eventually_out PATTERN COMMAND...: like expect_out, for a state another process reaches a
# moment later (tried for up to 30 s).
eventually_out() {
  local pattern=$1
  shift
  for _ in $(seq 300); do
    "$@" >"$work/out" 2>&1 || true
    grep -qF -- "$pattern" "$work/out" && return 0
    sleep 0.1
  done
  fail "'$*' did not come to say '$pattern'; it said: $(cat "$work/out")"
}

"$ntbox" init --tz UTC "$NTBOX_MACHINE" >/dev/null

expect_out "[SC] CreateService SUCCESS" \
  "$ntbox" sc create "Fake Svc" binPath= "\"$service\" \"Fake Svc\"" start= auto DisplayName= "Fake"
expect_out "[SC] CreateService FAILED 1073:" "$ntbox" sc create "fake svc" binPath= /bin/true
"$ntbox" reg query 'HKLM\SYSTEM\CurrentControlSet\Services\Fake Svc' /v Start >"$work/out"
grep -q "0x2" "$work/out" || fail "start= auto did not write Start 2: $(cat "$work/out")"
expect_out "STATE              : 1  STOPPED" "$ntbox" sc query "Fake Svc"
expect_out "[SC] ControlService FAILED 1062:" "$ntbox" sc stop "Fake Svc"

expect_out "Fake Svc: started" "$ntbox" boot
eventually_out "STATE              : 4  RUNNING" "$ntbox" sc query "FAKE SVC"
expect_out "(STOPPABLE, NOT_PAUSABLE, IGNORES_SHUTDOWN)" "$ntbox" sc query "Fake Svc"
expect_out "Fake Svc: already running" "$ntbox" boot
expect_out "[SC] StartService FAILED 1056:" "$ntbox" sc start "Fake Svc"
expect_out "An instance of the service is already running." "$ntbox" sc start "Fake Svc"

"$ntbox" sc stop "Fake Svc" --wait 30 >"$work/out" || fail "sc stop failed: $(cat "$work/out")"
[[ $(grep -c "STATE" "$work/out") == 2 ]] || fail "sc stop did not show two states"
tail -n 7 "$work/out" | grep -qF "1  STOPPED" || fail "sc stop did not end stopped"

expect_out "[SC] EnumQueryServicesStatus:OpenService FAILED 1060:" "$ntbox" sc query Nope
expect_out "The specified service does not exist as an installed service." \
  "$ntbox" sc query Nope
expect_out "[SC] OpenSCManager FAILED 53:" "$ntbox" sc '\\ELSEWHERE' query "Fake Svc"

"$ntbox" sc start "Fake Svc" a b >/dev/null || fail "sc start with arguments failed"
# Start returns at start pending; the service writes its arguments a moment later.
for _ in $(seq 300); do
  grep -qF "args: Fake Svc a b" "$work/SRV1/services/FAKE SVC.log" 2>/dev/null && break
  sleep 0.1
done
grep -qF "args: Fake Svc a b" "$work/SRV1/services/FAKE SVC.log" || fail "start arguments lost"
expect_out "[SC] DeleteService SUCCESS" "$ntbox" sc delete "Fake Svc"
expect_out "[SC] DeleteService FAILED 1072:" "$ntbox" sc delete "Fake Svc"
"$ntbox" sc stop "Fake Svc" --wait 30 >/dev/null || fail "stop of the deleted service failed"
eventually_out "FAILED 1060:" "$ntbox" sc query "Fake Svc"

if "$ntbox" sc frob x >/dev/null 2>&1; then fail "an unknown operation succeeded"; fi

if [[ $failures -gt 0 ]]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "ntbox sc: all checks passed"
