#!/usr/bin/env bash
# The vaskwell program on fresh emulated computers, in a private network namespace with an
# rsyslogd receiver on 127.0.0.1:514: the command line with its console texts, installation with
# its event source, defaults and event 100, start and stop under the emulated service control
# manager with their events and states, a stop in the middle of a slow pass (its records are
# forwarded again after the next start, none is lost), an unknown control, removal, and the
# installation on a version 4 computer.
# Usage: vaskwell_service_test.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: vaskwell_service_test.sh BUILD_DIR}
build=$(cd "$build" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/rsyslog.sh"
rsyslog_in_namespace "$here/$(basename "$0")" "$build"

ntbox=$build/bin/ntbox
vaskwell=$build/bin/vaskwell
name="Brinmoor Vaskwell"
work=$(mktemp -d)
RSYSLOG_WORK=$work/rsyslog
export NTBOX_MACHINE=$work/SRV1
cleanup() {
  for dir in "$work/SRV1" "$work/NT4"; do
    [[ -d $dir ]] || continue
    NTBOX_MACHINE=$dir "$ntbox" sc stop "$name" --wait 10 >/dev/null 2>&1 || true
  done
  rsyslog_stop_all
  rm -rf "$work"
}
trap cleanup EXIT

. "$(dirname "${BASH_SOURCE[0]}")/lib/check.sh"

params='HKLM\SYSTEM\CurrentControlSet\Services\Brinmoor Vaskwell\Parameters'
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Brinmoor Vaskwell'
set_dword() { "$ntbox" reg add "$params$1" /v "$2" /t REG_DWORD /d "$3" /f >/dev/null; }
set_text() { "$ntbox" reg add "$params$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null; }
reg_value() { "$ntbox" reg query "$1" /v "$2" | awk -v v="$2" '$1 == v {print $3}'; }
last_record() { echo $(($(reg_value "$params\\System" nLastRecord))); }
state() { "$ntbox" sc query "$name" | awk '/STATE/ {print $4}'; }
# The service's own events in the Application log, one "ID TEXT" line each, oldest first.
own_events() {
  "$ntbox" evt query Application | grep -F "source=\"$name\"" |
    sed -E 's/.* event_id=([0-9]+) .* description="(.*)"$/\1 \2/'
}
# Waits (up to 30 s) until the service's process has gone: it holds a lock on its .lock file
# for as long as it lives (an open file description lock, which a POSIX lock conflicts with).
wait_exited() {
  python3 - "$NTBOX_MACHINE/services/BRINMOOR VASKWELL.lock" <<'PY' || fail "the service process did not exit"
import fcntl, sys, time
deadline = time.time() + 30
with open(sys.argv[1], "r+") as f:
    while True:
        try:
            fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
            sys.exit(0)
        except OSError:
            if time.time() > deadline:
                sys.exit(1)
            time.sleep(0.05)
PY
}
# expect_output WANT_FILE COMMAND...: the command's output must be exactly the file's bytes.
expect_output() {
  local want=$1
  shift
  "$@" >"$work/got" 2>&1 || fail "'$*' exited with $?"
  cmp -s "$work/got" "$want" || fail "'$*' printed '$(cat -A "$work/got")', want '$(cat -A "$want")'"
}
# write N: an information record "rec-N" in the System log.
write() { "$ntbox" evt write System --source MyApp --id 1000 --string "rec-$1" >/dev/null; }
received() { grep -c -F "rec-$1\\\"" "$(rsyslog_out main)" || true; }

"$ntbox" init --no-samples --tz UTC "$NTBOX_MACHINE" >/dev/null

# --- -h, -v before installation, an argument that is no option ---
printf '%s\n' "$name Version 5.4 Build 166 (Final Release)" \
  "Usage: Vaskwell -h  --> This help message." \
  "       Vaskwell -v  --> Show version information." \
  "       Vaskwell -i  --> Install service." \
  "       Vaskwell -u  --> Remove (uninstall) service." >"$work/help"
expect_output "$work/help" "$vaskwell" -h
expect_output "$work/help" "$vaskwell" -H extra
printf '%s\n' "$name Version 5.4 Build 166 (Final Release)" "The service is not installed." \
  >"$work/v_not"
expect_output "$work/v_not" "$vaskwell" -v
: >"$work/empty"
expect_output "$work/empty" "$vaskwell" /i
expect_output "$work/empty" "$vaskwell"
"$ntbox" sc query "$name" >/dev/null 2>&1 && fail "/i installed the service"

# --- -i over older values: defaults, notice, event source, event 100; then -I ---
set_dword "" nSleepTime 100
set_text "" szTarget 10.9.9.9
set_dword '\System' nLastRecord 77
{
  printf 'Brinmoor Sentrel has created/reset the registry key\n\n\n'
  printf 'HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Brinmoor Vaskwell\\Parameters\n\n\n'
  printf 'and its subkeys with default parameters. Please use REGEDIT to customize.\n'
  printf 'Note: the default syslog host is 127.0.0.1. Do not start\n'
  printf 'the Vaskwell service before adjusting. Otherwise you need to\n'
  printf "reset the 'nLastRecord' parameters to 0 in order to get a\n"
  printf 'complete log of all event log entries!\n\n'
  printf 'Visit https://www.brinmoor.example/sentrel for product updates and support.\n'
  printf '%s installed.\n' "$name"
} >"$work/installed"
expect_output "$work/installed" "$vaskwell" -i
printf '%s is already installed.\n' "$name" >"$work/already"
expect_output "$work/already" "$vaskwell" -I
[[ $(reg_value "$params" nSleepTime) == 0x1388 ]] || fail "nSleepTime not reset to 5000"
[[ $(reg_value "$params" szTarget) == 127.0.0.1 ]] || fail "szTarget not reset"
[[ $(last_record) == 0 ]] || fail "nLastRecord not reset: $(last_record)"
[[ $("$ntbox" reg query "$params" | grep -c "^HKEY.*Parameters\\\\") == 6 ]] ||
  fail "not six log subkeys: $("$ntbox" reg query "$params")"
[[ $(reg_value "$source_key" TypesSupported) == 0x7 ]] || fail "TypesSupported"
[[ $(reg_value "$source_key" EventMessageFile) == "$build/bin/vaskwell_messages.dll" ]] ||
  fail "EventMessageFile: $(reg_value "$source_key" EventMessageFile)"
[[ $(reg_value "HKLM\\SYSTEM\\CurrentControlSet\\Services\\$name" Start) == 0x2 ]] ||
  fail "not an automatic service"
[[ $(own_events) == "100 The $name service was installed." ]] ||
  fail "events after -i: $(own_events)"
printf '%s\n' "$name Version 5.4 Build 166 (Final Release)" "The service is currently installed." \
  >"$work/v_yes"
expect_output "$work/v_yes" "$vaskwell" -V

# --- start: 107 then 105, running, records arrive ---
set_dword "" nSleepTime 200
set_dword "" nPreventOverrunDelay 0
set_dword '\Application' nFilterEventType 0 # the service's own events stay out of the forwarding
rsyslog_start main 514 -
for i in 1 2 3; do write "$i"; done
"$ntbox" sc start "$name" >/dev/null || fail "sc start failed"
rsyslog_wait_lines main 3 || fail "the first three records did not arrive"
# The logger may deliver before the service reports running; wait for that report.
for _ in $(seq 300); do
  [[ $(state) == RUNNING ]] && break
  sleep 0.1
done
[[ $(state) == RUNNING ]] || fail "state after start: $(state)"
own_events | tail -n 2 >"$work/got"
printf '%s\n' "107 The logger background thread started successfully" "105 The service was started." \
  >"$work/want"
cmp -s "$work/got" "$work/want" || fail "start events: $(cat "$work/got")"

# --- an unknown control: event 106, still running ---
"$ntbox" sc control "$name" 200 >/dev/null || fail "sc control failed"
[[ $(own_events | tail -n 1) == "106 The service received an unsupported request." ]] ||
  fail "no event 106: $(own_events | tail -n 1)"
[[ $(state) == RUNNING ]] || fail "state after control 200: $(state)"

# --- a stop in the middle of a slow pass ---
rsyslog_wait_lines main 3
[[ $(last_record) == 3 ]] || fail "nLastRecord after the first pass: $(last_record)"
set_dword "" nPreventOverrunDelay 400
for i in $(seq 4 40); do write "$i"; done
rsyslog_wait_lines main 6 || fail "the slow pass did not begin"
start=$(date +%s%N)
"$ntbox" sc stop "$name" --wait 8 >"$work/stop" 2>&1 || fail "sc stop: $(cat "$work/stop")"
took=$((($(date +%s%N) - start) / 1000000))
((took < 7500)) || fail "the stop took $took ms"
# The control's answer is stop pending, or already stopped when the service was quicker.
grep -qE "(3  STOP_PENDING|1  STOPPED)" "$work/stop" || fail "no stop state: $(cat "$work/stop")"
wait_exited
[[ $(state) == STOPPED ]] || fail "state after stop: $(state)"
own_events | tail -n 2 >"$work/got"
printf '%s\n' "107 The logger background thread stopped successfully." "108 The service was stopped." \
  >"$work/want"
cmp -s "$work/got" "$work/want" || fail "stop events: $(cat "$work/got")"
[[ $(last_record) == 3 ]] || fail "the cut-off pass wrote progress: $(last_record)"
cut=$(rsyslog_count main)
((cut < 40)) || fail "the pass was not cut off ($cut messages)"

# --- the next start forwards the cut-off records again: none is lost ---
set_dword "" nPreventOverrunDelay 0
"$ntbox" sc start "$name" >/dev/null || fail "second sc start failed"
rsyslog_wait_lines main $((cut + 37)) 20 || fail "the records after the restart did not arrive"
for i in $(seq 1 40); do
  [[ $(received "$i") -ge 1 ]] || fail "record rec-$i was lost"
done
[[ $(received 5) -ge 2 ]] || fail "rec-5 of the cut-off pass was not forwarded again"
for _ in $(seq 300); do
  [[ $(last_record) == 40 ]] && break
  sleep 0.1
done
[[ $(last_record) == 40 ]] || fail "nLastRecord after the restart: $(last_record)"
"$ntbox" sc stop "$name" --wait 8 >/dev/null || fail "second sc stop failed"
wait_exited

# --- -u twice ---
printf '%s removed. (You must delete the file (%s) yourself.)\n' "$name" "$vaskwell" >"$work/removed"
expect_output "$work/removed" "$vaskwell" -u
printf '%s is not installed.\n' "$name" >"$work/not"
expect_output "$work/not" "$vaskwell" -U
[[ $(own_events | tail -n 1) == "101 The $name service was removed." ]] ||
  fail "no event 101: $(own_events | tail -n 1)"
"$ntbox" sc query "$name" >/dev/null 2>&1 && fail "the service is still registered"
[[ $(reg_value "$source_key" TypesSupported) == 0x7 ]] || fail "removal took the event source"

# --- a version 4 computer gets three log subkeys ---
export NTBOX_MACHINE=$work/NT4
"$ntbox" init --no-samples --version 4.0 --tz UTC "$NTBOX_MACHINE" >/dev/null
"$vaskwell" -i >/dev/null
"$ntbox" reg query "$params" | grep "^HKEY.*Parameters\\\\" | sed 's/.*\\//' | sort >"$work/got"
printf '%s\n' Application Security System >"$work/want"
cmp -s "$work/got" "$work/want" || fail "NT 4 subkeys: $(cat "$work/got")"

if [[ $failures -gt 0 ]]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "vaskwell service: all checks passed"
