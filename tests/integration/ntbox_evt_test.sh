#!/usr/bin/env bash
# ntbox evt and ntbox eventcreate on a fresh emulated computer: every record field written and
# shown again, chunked reads of a large log, clearing, and the errors of bad input.
# Usage: ntbox_evt_test.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: ntbox_evt_test.sh BUILD_DIR}
ntbox=$build/bin/ntbox
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export NTBOX_MACHINE=$work/SRV1

. "$(dirname "${BASH_SOURCE[0]}")/lib/check.sh"

# expect_error PATTERN COMMAND...: the command must exit non-zero and say PATTERN on stderr.
expect_error() {
  local pattern=$1
  shift
  if "$@" >"$work/out" 2>"$work/err"; then
    fail "succeeded but should not: $*"
  elif ! grep -qF -- "$pattern" "$work/err"; then
    fail "'$*' did not report '$pattern'; it said: $(cat "$work/err")"
  fi
}

"$ntbox" init --tz UTC "$NTBOX_MACHINE" >/dev/null

# --- every field written and shown again ---
"$ntbox" evt clear System
n=$("$ntbox" evt write System --source "Service Control Manager" --id 0xC0001B6F --type error \
  --category 3 --computer OTHERPC --time 2003-05-05T13:20:06 --time-written 1052140810 \
  --sid S-1-5-18 --string 'Messenger' --string 'with "quotes"' --data 'DEADBEEF01')
[[ $n == 1 ]] || fail "first record after a clear got number '$n'"
expected='number=1 generated=2003-05-05T13:20:06 generated_epoch=1052140806 written=2003-05-05T13:20:10 written_epoch=1052140810 event_id=3221232495 event_id_hex=0xC0001B6F type=error category=3 source="Service Control Manager" computer="OTHERPC" sid=S-1-5-18 strings=["Messenger","with \"quotes\""] data=deadbeef01 description="The Messenger service terminated with the following error: \r\nwith \"quotes\""'
got=$("$ntbox" evt query System)
[[ $got == "$expected" ]] || fail "query shows
  $got
instead of
  $expected"

json=$("$ntbox" evt query system --format json)
for part in '"number":1' '"event_id":3221232495' '"event_id_hex":"0xC0001B6F"' \
  '"type":"error"' '"sid":"S-1-5-18"' '"strings":["Messenger","with \"quotes\""]' \
  '"data":"deadbeef01"' '"computer":"OTHERPC"'; do
  [[ $json == *"$part"* ]] || fail "JSON output lacks $part: $json"
done

# Defaults: information, this computer's name, now.
before=$(date +%s)
n=$("$ntbox" evt write System --source Tester --id 7)
after=$(date +%s)
[[ $n == 2 ]] || fail "second record got number '$n'"
line=$("$ntbox" evt query System --from 2)
[[ $line == *'type=information'* && $line == *'computer="SRV1"'* && $line == *'sid= '* ]] ||
  fail "defaults not applied: $line"
stamp=$(sed -E 's/.* generated_epoch=([0-9]+) .*/\1/' <<<"$line")
((stamp >= before && stamp <= after)) || fail "default time $stamp is not now ($before..$after)"

# --- many records and one larger than the service's 204800-byte read chunk ---
for i in $(seq 3 40); do
  "$ntbox" evt write System --source Tester --id "$i" --string "record $i" >/dev/null
done
# Four strings of 30000 characters (no string may pass 31839): a record of about 240 KB.
big=$(head -c 30000 /dev/zero | tr '\0' 'x')
too_long=$(head -c 31840 /dev/zero | tr '\0' 'y')
if "$ntbox" evt write System --source Tester --id 41 --string a --string "$too_long" \
  >/dev/null 2>"$work/err"; then
  fail "a string of 31840 characters was written"
fi
grep -q -- "--string 2 has 31840 characters; an insertion string holds at most 31839" \
  "$work/err" || fail "refusal said: $(cat "$work/err")"
n=$("$ntbox" evt write System --source Tester --id 41 --string "$big" --string "$big" \
  --string "$big" --string "$big")
[[ $n == 41 ]] || fail "the large record got number '$n'"
"$ntbox" evt query System >"$work/all"
[[ $(wc -l <"$work/all") == 41 ]] || fail "query listed $(wc -l <"$work/all") records, not 41"
numbers=$(sed -E 's/^number=([0-9]+) .*/\1/' "$work/all" | tr '\n' ' ')
[[ $numbers == "$(seq -s ' ' 1 41) " ]] || fail "records out of order: $numbers"
grep -q "strings=\[\"$big\",\"$big\",\"$big\",\"$big\"\]" "$work/all" ||
  fail "the large record's strings did not come back"
backwards=$("$ntbox" evt query System --from 5 --backwards | sed -E 's/^number=([0-9]+) .*/\1/' |
  tr '\n' ' ')
[[ $backwards == "5 4 3 2 1 " ]] || fail "backwards from 5 gave: $backwards"
"$ntbox" evt logs | grep -qx $'System\t41' || fail "evt logs does not count 41 System records"

# --- eventcreate ---
out=$("$ntbox" eventcreate /T WARNING /ID 100 /SO MyScript /D "Disk almost full")
[[ $out == *SUCCESS* ]] || fail "eventcreate said: $out"
"$ntbox" eventcreate /l application /t error /id 101 /so myscript /d "second" >/dev/null ||
  fail "eventcreate refused its own source a second time"
app=$("$ntbox" evt query Application)
[[ $app == *'event_id=100 '*'type=warning'*'source="MyScript"'*'strings=["Disk almost full"]'* ]] ||
  fail "eventcreate's record not found: $app"
[[ $app == *'event_id=101 '*'type=error'* ]] || fail "second eventcreate record not found: $app"
expect_error "1 to 1000" "$ntbox" eventcreate /T ERROR /ID 1001 /D x
expect_error "Security" "$ntbox" eventcreate /L Security /T ERROR /ID 1 /D x
expect_error "/T" "$ntbox" eventcreate /ID 1 /D x
expect_error "already exists in the 'Application' log" \
  "$ntbox" eventcreate /L System /SO MyScript /T ERROR /ID 1 /D x

# --- clear ---
"$ntbox" evt clear System
[[ -z $("$ntbox" evt query System) ]] || fail "System not empty after clear"
n=$("$ntbox" evt write System --source Tester --id 1)
[[ $n == 1 ]] || fail "numbering did not restart at 1 after clear (got '$n')"
expect_error "holds no record number 41" "$ntbox" evt query System --from 41

# --- bad input ---
expect_error "No Such Log" "$ntbox" evt write "No Such Log" --source x --id 1
expect_error "No Such Log" "$ntbox" evt query "No Such Log"
expect_error "No Such Log" "$ntbox" evt clear "No Such Log"
expect_error "--id '4294967296'" "$ntbox" evt write System --source x --id 4294967296
expect_error "--id '12ab'" "$ntbox" evt write System --source x --id 12ab
expect_error "--sid 'S-1-x'" "$ntbox" evt write System --source x --id 1 --sid S-1-x
expect_error "--data 'abc'" "$ntbox" evt write System --source x --id 1 --data abc
expect_error "--type 'fatal'" "$ntbox" evt write System --source x --id 1 --type fatal
expect_error "--time '2003-02-30T00:00:00'" \
  "$ntbox" evt write System --source x --id 1 --time 2003-02-30T00:00:00
expect_error "--source is missing" "$ntbox" evt write System --id 1
expect_error "unknown subcommand" "$ntbox" evt frobnicate
NTBOX_MACHINE=$work/absent expect_error "$work/absent" "$ntbox" evt logs
mkdir "$work/junk"
echo "not a database" >"$work/junk/machine.db"
NTBOX_MACHINE=$work/junk expect_error "$work/junk/machine.db" "$ntbox" evt logs
[[ $(cat "$work/junk/machine.db") == "not a database" ]] || fail "a foreign machine.db was changed"

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "ntbox evt: all checks passed"
