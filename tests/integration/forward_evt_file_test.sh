#!/usr/bin/env bash
# A real server's System log, end to end: the .evt file of a Windows computer (wrapped, with a
# dirty header) imported into a fresh emulated computer's System log, then forwarded by the
# installed vaskwell service over TCP to rsyslogd in a private network namespace. Every record
# must arrive once and in order, each with the source, event id, type, time and description that
# an independent reader (lib/evt_reader.py) finds in the file.
# Usage: forward_evt_file_test.sh BUILD_DIR
set -euo pipefail

. "$(dirname "$0")/lib/running_service.sh" "$@"
evt=$here/../../platform/emulated/testdata/evt/SysEvent.Evt
. "$here/lib/forwarder.sh"
ms() { echo $(($(date +%s%N) / 1000000)); }

# The sample message libraries and their sources, without the sample records.
"$ntbox" init --tz UTC "$NTBOX_MACHINE" >/dev/null
"$ntbox" evt clear System
"$vaskwell" -i >/dev/null
set_dword "" nSleepTime 200
set_dword "" nPreventOverrunDelay 0
set_dword "" nProtoType 1
set_dword "" nRFC3164Mode 0
set_dword "" bAddFacilityString 1
set_dword "" bShowSyslogMsgNbr 1
for log in Application Security; do set_dword "\\$log" nFilterEventType 0; done
rsyslog_start main - 514

python3 "$here/lib/evt_reader.py" "$evt" >"$work/records.jsonl"
[[ $(wc -l <"$work/records.jsonl") == 6063 ]] || fail "the independent reader found $(wc -l <"$work/records.jsonl") records"

start=$(ms)
"$ntbox" evt import System "$evt" >"$work/import" 2>&1 && fail "an import past MaxSize succeeded"
grep -q "Nothing was imported" "$work/import" || fail "no refusal: $(cat "$work/import")"
"$ntbox" evt import System "$evt" --grow >"$work/import" || fail "import: $(cat "$work/import")"
echo "import: $(($(ms) - start)) ms"
grep -q "6063 records (numbers 1392 to 7454 in the file) imported into the System log as numbers 1 to 6063" \
  "$work/import" || fail "import said: $(cat "$work/import")"
grep -q "names 7430 as the next record number, the end-of-file record 7455" "$work/import" ||
  fail "the stale header was not noted: $(cat "$work/import")"

start=$(ms)
"$ntbox" sc start "$name" >/dev/null || fail "sc start failed"
rsyslog_wait_lines main 6063 240 || fail "not every record arrived"
for _ in $(seq 100); do
  [[ $(last_record) == 6063 ]] && break
  sleep 0.1
done
echo "forwarding: $(($(ms) - start)) ms"
[[ $(last_record) == 6063 ]] || fail "nLastRecord after the pass: $(last_record)"
sleep 0.5 # a second pass must send nothing again
"$ntbox" sc stop "$name" --wait 10 >/dev/null || fail "sc stop failed"
python3 "$here/lib/evt_syslog_check.py" "$work/records.jsonl" "$(rsyslog_out main)" ||
  fail "the forwarded lines differ from the file's records"

if ((failures > 0)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "forwarding an imported .evt file: all checks passed"
