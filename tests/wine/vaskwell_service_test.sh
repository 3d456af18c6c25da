#!/usr/bin/env bash
# vaskwell.exe as a Windows service under Wine, from installation to removal:
#   -i and the registry it writes; a second -i; net start up to RUNNING; one logger pass, which
#   under Wine meets the recovery from a last record that the log no longer holds (Wine's event
#   log is a stub without records) and reports its error event; net stop within 7.5 s; -u, after
#   which the service's key is gone.
# Wine's event log calls are stubs, so the service's events are checked in the trace that Wine
# writes of them to SERVICES_LOG.
#
#   tests/wine/vaskwell_service_test.sh VASKWELL.EXE   (run by scripts/wine_tests.sh)
set -euo pipefail
. "$(dirname "$0")/lib.sh"

exe=$1
name="Brinmoor Vaskwell"
key='HKLM\SYSTEM\CurrentControlSet\Services\Brinmoor Vaskwell'
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Brinmoor Vaskwell'

out=$(wine_out "$exe" -i)
grep -qx "$name installed." <<<"$out" || fail "-i printed: $out"
grep -qF "has created/reset the registry key" <<<"$out" || fail "-i printed no configuration notice"
pass "-i installs"

tree=$(reg_tree "$key")
long_key="HKEY_LOCAL_MACHINE${key#HKLM}"
value() { tree_value "$tree" "$long_key${2:+\\$2}" "$1"; }
[ "$(value Type)" = 0x10 ] || fail "Type is $(value Type)"
[ "$(value Start)" = 0x2 ] || fail "Start is $(value Start)"
[ "$(value ErrorControl)" = 0x1 ] || fail "ErrorControl is $(value ErrorControl)"
[ "$(value ObjectName)" = LocalSystem ] || fail "ObjectName is $(value ObjectName)"
image=$(value ImagePath)
# The short (8.3) path of the program: no blanks, the program's own file name.
[[ "$image" != *" "* && "${image,,}" == *'\vaskwell.exe' ]] || fail "ImagePath is '$image'"
for log in System Application Security "DNS Server" "Directory Service" "File Replication Service"; do
  [ "$(value nLastRecord "Parameters\\$log")" = 0x0 ] || fail "no defaults for $log"
done
source_tree=$(reg_tree "$source_key")
source_value() { tree_value "$source_tree" "HKEY_LOCAL_MACHINE${source_key#HKLM}" "$1"; }
[ "$(source_value EventMessageFile)" = "$image" ] ||
  fail "EventMessageFile is '$(source_value EventMessageFile)', ImagePath '$image'"
[ "$(source_value TypesSupported)" = 0x7 ] || fail "TypesSupported is not 7"
pass "-i writes the service, its event source and the default configuration"

out=$(wine_out "$exe" -i)
[ "$out" = "$name is already installed." ] || fail "second -i printed: $out"
pass "a second -i changes nothing"

# A last record that the log does not hold: the first pass must recover from it.
wine reg add "$key\\Parameters\\System" /v nLastRecord /t REG_DWORD /d 5 /f >/dev/null 2>&1
out=$(wine_out net start "$name")
grep -qF "service was started successfully" <<<"$out" || fail "net start printed: $out"
[ "$(service_state "$name")" = "4 RUNNING" ] || fail "after net start: $(service_state "$name")"
services_logged 'L"The logger background thread started successfully"' ||
  fail "no start event 107 in $SERVICES_LOG"
pass "net start reaches RUNNING"

system_progress_reset() { [ "$(reg_value "$key\\Parameters\\System" nLastRecord)" = 0x0 ]; }
wait_for 30 system_progress_reset || fail "no logger pass reset System's nLastRecord"
wait_for 10 services_logged \
  "Couldn't read last record for System log (state 38) - nLastRecord set to 0 to recover." ||
  fail "no recovery event in $SERVICES_LOG"
pass "one logger pass recovers from a last record the log does not hold, with its error event"

start=$(now_ms)
out=$(wine_out net stop "$name")
took=$(($(now_ms) - start))
grep -qF "service was stopped successfully" <<<"$out" || fail "net stop printed: $out"
[ "$took" -lt 7500 ] || fail "net stop took $took ms"
[ "$(service_state "$name")" = "1 STOPPED" ] || fail "after net stop: $(service_state "$name")"
services_logged 'L"The logger background thread stopped successfully."' ||
  fail "no stop event 107 in $SERVICES_LOG"
pass "net stop reaches STOPPED in $took ms"

out=$(wine_out "$exe" -u)
grep -q "^$name removed\. (You must delete the file (.*vaskwell.exe) yourself\.)\$" <<<"$out" ||
  fail "-u printed: $out"
! reg_key_exists "$key" || fail "the service key is still there after -u"
[ "$(service_state "$name")" = none ] || fail "after -u: $(service_state "$name")"
reg_key_exists "$source_key" || fail "-u removed the event source"
out=$(wine_out "$exe" -u)
[ "$out" = "$name is not installed." ] || fail "second -u printed: $out"
pass "-u removes the service and its key; the event source stays"
