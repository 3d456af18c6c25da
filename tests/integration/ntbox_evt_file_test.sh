#!/usr/bin/env bash
# ntbox evt import and export on a fresh emulated computer: a real log in and out again with every
# record as an independent reader (lib/evt_reader.py) finds it, an export imported into another
# log, and damaged files refused with the offset of the damage and nothing imported.
# Usage: ntbox_evt_file_test.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: ntbox_evt_file_test.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
ntbox=$build/bin/ntbox
evt=$here/../../platform/emulated/testdata/evt/SysEvent.Evt
reader=$here/lib/evt_reader.py
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export NTBOX_MACHINE=$work/SRV1

. "$here/lib/check.sh"
# expect_error PATTERN COMMAND...: the command must exit with 1 and say PATTERN on stderr.
expect_error() {
  local pattern=$1 rc=0
  shift
  "$@" >"$work/out" 2>"$work/err" || rc=$?
  if ((rc != 1)); then
    fail "'$*' exited with $rc, want 1"
  elif ! grep -qF -- "$pattern" "$work/err"; then
    fail "'$*' did not report '$pattern'; it said: $(cat "$work/err")"
  fi
}
counts() { "$ntbox" evt logs | tr '\t\n' '= '; }

# The sample libraries and sources; the Application log keeps its one sample record.
"$ntbox" init --tz UTC "$NTBOX_MACHINE" >/dev/null
"$ntbox" evt clear System

# --- the real log in with its own numbers, and out again: the same records ---
"$ntbox" evt import System "$evt" --keep-numbers --grow >"$work/out" || fail "import: $(cat "$work/out")"
grep -q "as numbers 1392 to 7454" "$work/out" || fail "import said: $(cat "$work/out")"
grep -q "MaxSize of the System log raised to 1966080 bytes" "$work/out" ||
  fail "no MaxSize raise reported: $(cat "$work/out")"
"$ntbox" evt export System "$work/system.evt" >"$work/out" || fail "export: $(cat "$work/out")"
grep -q "6063 records (numbers 1392 to 7454) of the System log exported" "$work/out" ||
  fail "export said: $(cat "$work/out")"
python3 "$reader" "$evt" >"$work/original.jsonl"
python3 "$reader" "$work/system.evt" >"$work/exported.jsonl"
cmp -s "$work/original.jsonl" "$work/exported.jsonl" || fail "the export differs from the original"
# The description the event viewer would show comes from the sample library.
"$ntbox" evt query System --from 7454 | head -n 1 | grep -qF \
  'description="The Google Update Service (gupdate) service entered the stopped state."' ||
  fail "record 7454: $("$ntbox" evt query System --from 7454 | head -n 1)"

# --- the export into a log that has records: appended under the log's next numbers ---
"$ntbox" evt import Application "$work/system.evt" --grow >"$work/out" ||
  fail "import of the export: $(cat "$work/out")"
grep -q "as numbers 2 to 6064" "$work/out" || fail "import said: $(cat "$work/out")"
grep -q "out of date" "$work/out" && fail "a clean export was called out of date"
"$ntbox" evt export Application "$work/application.evt" >/dev/null
python3 "$reader" "$work/application.evt" | tail -n +2 | python3 -c '
import json, sys
for line in sys.stdin:
    r = json.loads(line)
    r["number"] += 1390
    print(json.dumps(r, ensure_ascii=False))' >"$work/renumbered.jsonl"
cmp -s "$work/original.jsonl" "$work/renumbered.jsonl" || fail "the records changed on the way"
expect_error "the Application log is not empty" "$ntbox" evt import Application "$evt" --keep-numbers
[[ $("$ntbox" evt export "DNS Server" "$work/empty.evt") == *"empty"* ]] || fail "empty export"
python3 "$reader" "$work/empty.evt" >"$work/out" && [[ ! -s $work/out ]] || fail "empty export not empty"

# --- damaged files (each kind is in the unit tests): refused with the offset, nothing imported ---
before=$(counts)
head -c 1000000 "$evt" >"$work/truncated.evt"
expect_error "offset 1802736 (0x1B81F0): no end-of-file record" "$ntbox" evt import System "$work/truncated.evt" --grow
# Record 5000 (at 0x1307F8) claims to run on past the end of the log.
cp "$evt" "$work/length.evt"
printf '\xf0\xff\xff\x0f' | dd of="$work/length.evt" bs=1 seek=$((0x1307F8)) conv=notrunc status=none
expect_error "offset 1247224 (0x1307F8): a record of 268435440 bytes would run past" \
  "$ntbox" evt import System "$work/length.evt" --grow
[[ $(counts) == "$before" ]] || fail "a refused import changed the logs: $(counts), was $before"

# --- usage and files ---
expect_error "cannot open $work/missing.evt" "$ntbox" evt import System "$work/missing.evt"
expect_error "no event log named 'Nope'" "$ntbox" evt import Nope "$evt"
expect_error "cannot create $work/no/dir.evt.part" "$ntbox" evt export System "$work/no/dir.evt"
rc=0
"$ntbox" evt import System "$evt" --sideways 2>/dev/null || rc=$?
((rc == 2)) || fail "an unknown option exited with $rc, want 2"

if ((failures > 0)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "ntbox evt import/export: all checks passed"
