#!/usr/bin/env bash
# Records written into the emulated event logs, forwarded by the logger (tests/tools/run_logger)
# to real rsyslogd receivers in a private network namespace: the primary on 127.0.0.1 and the
# backup on 127.0.0.2, each with UDP and TCP on port 514. Checks the messages byte for byte after
# the syslog normalisation, one TCP connection per message, the pass end at a refused primary,
# the backup failure that goes on, "3com-server", the 1024-byte UDP cut, the services file, and
# filter rules changed under a running logger.
# Usage: forward_syslog_test.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: forward_syslog_test.sh BUILD_DIR}
build=$(cd "$build" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/rsyslog.sh"
rsyslog_in_namespace "$here/$(basename "$0")" "$build"

ntbox=$build/bin/ntbox
run_logger=$build/bin/run_logger
work=$(mktemp -d)
RSYSLOG_WORK=$work/rsyslog
logger_pid=
smtp_pid=
cleanup() {
  [[ -z $logger_pid ]] || kill "$logger_pid" 2>/dev/null || true
  [[ -z $smtp_pid ]] || kill "$smtp_pid" 2>/dev/null || true
  rsyslog_stop_all
  rm -rf "$work"
}
trap cleanup EXIT
export NTBOX_MACHINE=$work/SRV1

. "$here/lib/forwarder.sh"



# write ID [STRING]: one information record in the System log at a fixed time; prints nothing.
write() {
  "$ntbox" evt write System --source MyApp --id "$1" --time 2003-05-05T09:05:03 \
    --string "${2:-plain}" >/dev/null
}
# expected ID TEXT: the syslog line of such a record (nRFC3164Mode 1) as it must arrive, with
# TEXT already normalised.
expected() {
  printf '<133>May  5 09:05:03 srv1 Vaskwell: [INF] SRV1/MyApp (%s) - "The description for Event ID ( %s ) in Source ( MyApp ) could not be found. It contains the following insertion string(s): %s"' \
    "$1" "$1" "$2"
}
pass() { "$run_logger" --passes 1 >/dev/null; }
count() { rsyslog_count "$1" "${2:-}"; }
# expect_raw INSTANCE INDEX ID TEXT
expect_raw() {
  rsyslog_field "$1" "$2" rawmsg >"$work/got"
  expected "$3" "$4" >"$work/want"
  cmp -s "$work/got" "$work/want" ||
    fail "$1 line $2: got '$(cat -v "$work/got")', want '$(cat -v "$work/want")'"
}
application_has() { "$ntbox" evt query Application | grep -qF -- "$1"; }
application_count() { "$ntbox" evt query Application | grep -cF -- "$1" || true; }

"$ntbox" init --no-samples --tz UTC "$NTBOX_MACHINE" >/dev/null
set_dword "" nPreventOverrunDelay 0
set_dword "" nRFC3164Mode 1
set_dword "" nSleepTime 100
set_text "" szTarget 127.0.0.1
set_text "" szTarget2 127.0.0.2
# The service's own events land in the Application log: keep them out of the forwarding.
set_dword '\Application' nFilterEventType 0

rsyslog_start main 514 514
rsyslog_start_backup backup 514 514
rsyslog_start alt 5514 -

# --- UDP to primary and backup: the text as built, on one line, runs of spaces shrunk ---
write 1 $'alpha\r\nbeta    gamma\tdelta'
write 2 'two'
pass
rsyslog_wait_lines main 2
rsyslog_wait_lines backup 2
for who in main backup; do
  expect_raw $who 0 1 'alpha beta gamma delta'
  expect_raw $who 1 2 'two'
  [[ $(rsyslog_field $who 0 inputname) == udp514 ]] || fail "$who: not by UDP"
  [[ $(rsyslog_field $who 0 pri) == 133 ]] || fail "$who: PRI"
  [[ $(rsyslog_field $who 0 hostname) == srv1 ]] || fail "$who: host"
  [[ $(rsyslog_field $who 0 syslogtag) == Vaskwell: ]] || fail "$who: tag"
  [[ $(rsyslog_field $who 0 timereported) == 'May  5 09:05:03' ]] || fail "$who: time"
done
[[ $(last_record) == 2 ]] || fail "nLastRecord after the UDP pass: $(last_record)"

# --- TCP: one connection per message (two on one connection would arrive as one line) ---
set_dword "" nProtoType 1
set_dword "" nProtoTypeBackup 1
write 3 'three'
write 4 'four'
write 5 'five'
pass
rsyslog_wait_lines main 5
rsyslog_wait_lines backup 5
for who in main backup; do
  [[ $(count $who tcp514) == 3 ]] || fail "$who: $(count $who tcp514) TCP messages, want 3"
  expect_raw $who 2 3 three
  expect_raw $who 4 5 five
done

# --- a refused primary TCP connection: I1002, the pass ends after that record ---
set_text "" szTarget 127.0.0.3
write 6 six
write 7 seven
write 8 eight
pass
[[ $(last_record) == 6 ]] || fail "nLastRecord after the refused primary: $(last_record), want 6"
application_has 'Error I1002 - Could not connect to Syslog Server over TCP - might be down. Processing was stopped' ||
  fail "no I1002 event for the refused primary"
rsyslog_wait_lines backup 6
expect_raw backup 5 6 six # the backup still gets the record of the failure
pass
[[ $(last_record) == 7 ]] || fail "the next pass did not start with the next record: $(last_record)"
set_text "" szTarget 127.0.0.1
pass
[[ $(last_record) == 8 ]] || fail "nLastRecord after the primary is back: $(last_record)"
rsyslog_wait_lines main 6
expect_raw main 5 8 eight # six and seven were lost for the primary

# --- a refused backup: reported, the primary goes on ---
set_text "" szTarget2 127.0.0.3
write 9 nine
write 10 ten
pass
rsyslog_wait_lines main 8
expect_raw main 6 9 nine
expect_raw main 7 10 ten
[[ $(application_count 'Could not connect to Backup Syslog Server over TCP - Continue processing for primary Syslog Server') == 2 ]] ||
  fail "want one backup I1002 event per record"
[[ $(last_record) == 10 ]] || fail "nLastRecord after the refused backup: $(last_record)"
set_text "" szTarget2 127.0.0.2

# --- "3com-server" is taken as an address and never arrives ---
set_dword "" nProtoType 0
set_dword "" nProtoTypeBackup 0
printf '127.0.0.1 3com-server\r\n' >>"$(find "$NTBOX_MACHINE/drive_c" -ipath '*/drivers/etc/hosts')"
set_text "" szTarget 3com-server
before_main=$(count main)
before_backup=$(count backup)
write 11 eleven
pass
rsyslog_wait_lines backup $((before_backup + 1))
sleep 0.2 # the primary's datagram would have been sent before the backup's
[[ $(count main) == "$before_main" ]] || fail "3com-server got a message"
set_text "" szTarget 127.0.0.1

# --- nRFC3164Mode 2 cuts UDP datagrams to 1024 bytes; TCP is never cut ---
set_dword "" nRFC3164Mode 2
set_dword "" nProtoTypeBackup 1
long=$(head -c 1400 /dev/zero | tr '\0' 'x')
before_main=$(count main)
before_backup=$(count backup)
write 12 "$long"
pass
rsyslog_wait_lines main $((before_main + 1))
rsyslog_wait_lines backup $((before_backup + 1))
expected 12 "$long" >"$work/long"
[[ $(wc -c <"$work/long") -gt 1500 ]] || fail "the long message is too short"
rsyslog_field main "$before_main" rawmsg >"$work/got"
head -c 1024 "$work/long" | cmp -s - "$work/got" || fail "UDP in mode 2: $(wc -c <"$work/got") bytes"
rsyslog_field backup "$before_backup" rawmsg | cmp -s - "$work/long" || fail "TCP was cut"
set_dword "" nRFC3164Mode 1

# --- another syslog/udp port in the services file moves UDP, not TCP ---
services=$(find "$NTBOX_MACHINE/drive_c" -ipath '*/drivers/etc/services')
cp "$services" "$work/services.saved"
printf 'syslog 5514/udp\r\n' >"$services"
before_main=$(count main)
write 13 moved
pass
rsyslog_wait_lines alt 1
expect_raw alt 0 13 moved
set_dword "" nProtoType 1
write 14 still514
pass
rsyslog_wait_lines main $((before_main + 1))
expect_raw main "$before_main" 14 still514
[[ $(count alt) == 1 ]] || fail "TCP went to the moved UDP port"
cp "$work/services.saved" "$services"
set_dword "" nProtoType 0
set_dword "" nProtoTypeBackup 0

# --- filter rules change what a running logger sends at its next pass ---
rules='\System'
set_dword "$rules" nFilterRules 2
set_dword "$rules" FR1EventID 100
set_dword "$rules" FR1Action 0 # discard id 100
set_dword "$rules" FR2EventID 200
set_dword "$rules" FR2Action 2 # id 200 by mail only
set_dword "$rules" nFilterVersion 1
"$run_logger" >/dev/null &
logger_pid=$!
before_main=$(count main)
write 100 discarded
write 200 mailed
write 300 sent
rsyslog_wait_lines main $((before_main + 1))
for _ in $(seq 50); do
  [[ $(last_record) == 17 ]] && break
  sleep 0.1
done
[[ $(last_record) == 17 ]] || fail "the running logger did not pass the three records"
expect_raw main "$before_main" 300 sent
# Without a mail server the mail record is reported, never dropped silently.
application_has 'initializing SMTP transport.' || fail "the mail record was not reported"
# The rules change without a new stamp: not seen. Then the stamp changes: seen at the next pass.
set_dword "$rules" FR1Action 4
write 100 'still discarded'
for _ in $(seq 50); do
  [[ $(last_record) == 18 ]] && break
  sleep 0.1
done
set_dword "$rules" nFilterVersion 2
write 100 'now sent'
rsyslog_wait_lines main $((before_main + 2))
expect_raw main $((before_main + 1)) 100 'now sent'
kill "$logger_pid"
wait "$logger_pid" || true
logger_pid=
[[ $(count main) == $((before_main + 2)) ]] || fail "a discarded record arrived"

# --- mail: the texts without their priority part, one mail per pass or one per record ---
mails=$work/mails
PYTHONPATH=$here/../tools /usr/bin/python3 -m aiosmtpd -n -l 127.0.0.1:25 \
  -c smtp_store_handler.StoreHandler "$mails" 2>"$work/smtp.log" &
smtp_pid=$!
for _ in $(seq 250); do
  ss -lnt 'sport = :25' | grep -q 127.0.0.1:25 && break
  sleep 0.02
done
# mail_body N: the body of mail N, after the headers and the line the body starts with.
mail_body() {
  python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); sys.stdout.buffer.write(d.split(b"\r\n\r\n", 2)[2])' \
    "$mails/mail-000$1.data"
}
set_dword "$rules" nFilterRules 3
set_dword "$rules" FR3EventID 600
set_dword "$rules" FR3Action 6 # mail and syslog
set_dword "$rules" nFilterVersion 3
before_main=$(count main)
write 200 $'first\r\nmail'
write 600 'both ways'
write 300 'syslog only'
pass
[[ -f $mails/mail-0001.data && ! -f $mails/mail-0002.data ]] || fail "want one mail for the pass"
{
  expected 200 $'first\r\nmail' | tail -c +6
  printf '\r\n\r\n'
  expected 600 'both ways' | tail -c +6
  printf '\r\n\r\n\r\n' # the last line end comes from the "\r\n.\r\n" that ends the mail
} >"$work/want"
mail_body 1 >"$work/got" || true
cmp -s "$work/got" "$work/want" || fail "mail 1: got '$(cat -v "$work/got")', want '$(cat -v "$work/want")'"
rsyslog_wait_lines main $((before_main + 2))
expect_raw main "$before_main" 600 'both ways'
expect_raw main $((before_main + 1)) 300 'syslog only'
# The log's method is mail and every mail goes alone; action 3 gives one mail, not two.
set_dword "$rules" FR3Action 3
set_dword "$rules" nFilterVersion 4
set_dword "$rules" nDeliveryMethod 1
set_dword "" bSingleEventEmails 1
before_main=$(count main)
write 700 seven
write 600 six
pass
[[ -f $mails/mail-0003.data && ! -f $mails/mail-0004.data ]] || fail "want a mail per record"
expected 700 seven | tail -c +6 >"$work/want"
printf '\r\n\r\n\r\n' >>"$work/want"
mail_body 2 | cmp -s - "$work/want" || fail "mail 2 is not record 700"
sleep 0.2
[[ $(count main) == "$before_main" ]] || fail "a mail record went to syslog"

if ((failures > 0)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "forwarding to syslog: all checks passed"
