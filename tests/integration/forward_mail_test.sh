#!/usr/bin/env bash
# Mail through the assembled logger (tests/tools/run_logger) to real mail servers on 127.0.0.1:25
# in a private network namespace: a pass of three records as one mail with the Date and the
# subject template of the first, one mail per record with its own subject, a line that is just
# "." arriving intact, and the mail set-up failures of the scripted fault server reported in the
# Application log, each ending its pass after the record; a service stop during a slow dialogue
# ends the logger at once and reports nothing. (A server that never answers is given up after
# the 30-second reply time-out; that case is tested by the client's unit tests, with a short
# time-out, not here.)
# Usage: forward_mail_test.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: forward_mail_test.sh BUILD_DIR}
build=$(cd "$build" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tools/smtp_server.sh"
if ! command -v unshare >/dev/null || ! /usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null; then
  echo "forward_mail_test.sh: needs unshare and /usr/bin/python3 with aiosmtpd" >&2
  exit 1
fi
smtp_in_namespace "$here/$(basename "$0")" "$build"

ntbox=$build/bin/ntbox
run_logger=$build/bin/run_logger
work=$(mktemp -d)
logger_pid=
cleanup() {
  [[ -z $logger_pid ]] || kill "$logger_pid" 2>/dev/null || true
  smtp_stop
  rm -rf "$work"
}
trap cleanup EXIT
export NTBOX_MACHINE=$work/SRV1

. "$here/lib/forwarder.sh"

write() {
  "$ntbox" evt write System --source MyApp --id "$1" --time 2003-05-05T09:05:03 \
    --string "$2" >/dev/null
}
# text ID STRING: the mail text of such a record: its syslog text without the priority part.
text() {
  printf 'May  5 09:05:03 srv1 Vaskwell: [INF] SRV1/MyApp (%s) - "The description for Event ID ( %s ) in Source ( MyApp ) could not be found. It contains the following insertion string(s): %s"' \
    "$1" "$1" "$2"
}
# subject ID STRING: the subject "%s %i %m" of such a record (line breaks become spaces).
subject() {
  printf 'SRV1 %s The description for Event ID ( %s ) in Source ( MyApp ) could not be found. It contains the following insertion string(s): %s' \
    "$1" "$1" "${2//$'\r\n'/  }"
}
pass() { "$run_logger" --passes 1 >/dev/null || fail "run_logger exited with $?"; }
# body FILE: the body of a stored mail, after the headers and the line it starts with.
body() {
  python3 -c 'import sys; sys.stdout.buffer.write(open(sys.argv[1], "rb").read().split(b"\r\n\r\n", 2)[2])' "$1"
}
# header FILE NAME: the value of header NAME of a stored mail.
header() { python3 - "$1" "$2" <<'EOF'
import sys
head = open(sys.argv[1], "rb").read().split(b"\r\n\r\n", 1)[0].decode("latin-1")
for line in head.split("\r\n"):
    if line.startswith(sys.argv[2] + ": "):
        sys.stdout.write(line[len(sys.argv[2]) + 2:])
EOF
}
# expect_file WHAT GOT WANT
expect_file() {
  cmp -s "$2" "$3" || fail "$1: got '$(cat -v "$2")', want '$(cat -v "$3")'"
}
fatal_count() {
  "$ntbox" evt query Application | grep -cF -- "Fatal error ($1) initializing SMTP transport." || true
}

# A zone west of UTC with daylight time: the Date header carries the computer's offset.
"$ntbox" init --no-samples --tz America/New_York "$NTBOX_MACHINE" >/dev/null
set_dword "" nPreventOverrunDelay 0
set_dword "" nRFC3164Mode 1
set_dword '\Application' nFilterEventType 0 # the service's own events stay out
set_dword '\System' nDeliveryMethod 1
set_text '\System' szSMTPSender sentrel@srv1
set_text '\System' szSMTPRecipient admin@example.org
set_text '\System' szSMTPSubject '%s %i %m'

# --- one pass, three records: one mail, each text followed by a blank line ---
smtp_start_store "$work/pass"
write 201 first
write 202 $'line one\r\n.\r\nline three'
write 203 third
before=$(date +%s)
pass
after=$(date +%s)
smtp_wait_mails "$work/pass" 1
sleep 0.2
[[ $(smtp_mail_count "$work/pass") == 1 ]] || fail "batched pass: $(smtp_mail_count "$work/pass") mails"
mail=$work/pass/mail-0001.data
{
  text 201 first
  printf '\r\n\r\n'
  text 202 $'line one\r\n.\r\nline three' # the "." line is stuffed on the wire, intact here
  printf '\r\n\r\n'
  text 203 third
  printf '\r\n\r\n\r\n'
} >"$work/want"
body "$mail" >"$work/got"
expect_file "batched mail body" "$work/got" "$work/want"
header "$mail" Subject >"$work/got"
subject 201 first >"$work/want"
expect_file "batched mail subject (the first record's)" "$work/got" "$work/want"
date=$(header "$mail" Date)
python3 - "$date" "$before" "$after" <<'EOF' || fail "Date header '$date' is not the computer's time of the pass"
import sys, datetime, zoneinfo
zone = zoneinfo.ZoneInfo("America/New_York")
days = "Mon Tue Wed Thu Fri Sat Sun".split()
months = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split()
def header(t):
    local = datetime.datetime.fromtimestamp(t, zone)
    offset = int(local.utcoffset().total_seconds()) // 60
    sign = "+" if offset >= 0 else "-"
    return "%s, %2d %s %4d %2d:%02d:%02d %s%02d%02d" % (
        days[local.weekday()], local.day, months[local.month - 1], local.year, local.hour,
        local.minute, local.second, sign, abs(offset) // 60, abs(offset) % 60)
sys.exit(0 if sys.argv[1] in {header(t) for t in range(int(sys.argv[2]), int(sys.argv[3]) + 1)} else 1)
EOF
[[ $(last_record) == 3 ]] || fail "nLastRecord after the mail pass: $(last_record)"

# --- bSingleEventEmails 1: a mail per record, each with its own subject ---
set_dword "" bSingleEventEmails 1
smtp_start_store "$work/single"
write 301 one
write 302 two
write 303 three
pass
smtp_wait_mails "$work/single" 3
sleep 0.2
[[ $(smtp_mail_count "$work/single") == 3 ]] || fail "single mails: $(smtp_mail_count "$work/single")"
n=1
for id in 301 302 303; do
  words=(one two three)
  mail=$work/single/mail-000$n.data
  header "$mail" Subject >"$work/got"
  subject $id "${words[n - 1]}" >"$work/want"
  expect_file "single mail $n subject" "$work/got" "$work/want"
  { text $id "${words[n - 1]}" && printf '\r\n\r\n\r\n'; } >"$work/want"
  body "$mail" >"$work/got"
  expect_file "single mail $n body" "$work/got" "$work/want"
  n=$((n + 1))
done
set_dword "" bSingleEventEmails 0

# --- a 554 greeting is no failure: HELO follows and the mail goes ---
smtp_start_fault greet554 "$work/greet554.log"
write 401 greeted
pass
[[ $(head -n 1 "$work/greet554.log") == HELO\ * ]] || fail "greet554: no HELO after the greeting"
grep -qx '<end of data>' "$work/greet554.log" || fail "greet554: the mail did not go"
[[ $("$ntbox" evt query Application | grep -c 'initializing SMTP transport' || true) == 0 ]] ||
  fail "greet554: a set-up failure was reported"

# --- each set-up failure: its event, and the pass ends after the record ---
check_failure() {
  local mode=$1 code=$2 start
  if [[ $mode == none ]]; then
    smtp_stop
  else
    smtp_start_fault "$mode" "$work/$mode.log"
  fi
  "$ntbox" evt clear Application
  start=$(last_record)
  write 500 "$mode a"
  write 501 "$mode b"
  pass
  [[ $(fatal_count "$code") == 1 ]] || fail "$mode: $(fatal_count "$code") events for code $code"
  [[ $(last_record) == $((start + 1)) ]] ||
    fail "$mode: the pass did not end after the failing record ($(last_record), want $((start + 1)))"
}
check_failure none -1
check_failure helo500 -2
check_failure mail550 -3
check_failure rcpt550 -4
check_failure droprcpt -4
check_failure data250 -6

# --- a service stop while the server holds back its reply: no failure reported, no progress ---
smtp_start_fault slowmail "$work/slowmail.log"
"$ntbox" evt clear Application
start=$(last_record)
"$run_logger" >/dev/null &
logger_pid=$!
for _ in $(seq 250); do
  grep -q '^MAIL FROM' "$work/slowmail.log" && break
  sleep 0.02
done
grep -q '^MAIL FROM' "$work/slowmail.log" || fail "slowmail: the dialogue did not reach MAIL FROM"
stop_at=$(date +%s%N)
kill -TERM "$logger_pid"
wait "$logger_pid" || fail "run_logger ended with $? after the stop"
logger_pid=
elapsed=$((($(date +%s%N) - stop_at) / 1000000))
((elapsed < 2000)) || fail "the stop during the mail dialogue took $elapsed ms"
[[ $("$ntbox" evt query Application | grep -c 'initializing SMTP transport' || true) == 0 ]] ||
  fail "a stop during the mail set-up was reported as a mail failure"
[[ $(last_record) == "$start" ]] || fail "the stopped pass wrote progress: $(last_record)"

if ((failures > 0)); then
  echo "forward_mail_test: $failures failure(s)" >&2
  exit 1
fi
echo "forward_mail_test: all checks passed"
