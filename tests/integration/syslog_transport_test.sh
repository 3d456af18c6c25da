#!/usr/bin/env bash
# The syslog transport against a real receiver: rsyslogd on 127.0.0.1:514 (UDP and TCP) in a
# private network namespace, fed by tests/tools/syslog_send on a fresh emulated computer. Checks
# what arrives byte for byte and field by field, the 1024-byte UDP cut, one TCP connection per
# message, the services file moving UDP only, name resolution, and the failures.
# Usage: syslog_transport_test.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: syslog_transport_test.sh BUILD_DIR}
build=$(cd "$build" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/rsyslog.sh"
rsyslog_in_namespace "$here/$(basename "$0")" "$build"

send=$build/bin/syslog_send
work=$(mktemp -d)
RSYSLOG_WORK=$work/rsyslog
trap 'rsyslog_stop_all; rm -rf "$work"' EXIT
export NTBOX_MACHINE=$work/SRV1

. "$(dirname "${BASH_SOURCE[0]}")/lib/check.sh"

# expect_field INSTANCE INDEX FIELD EXPECTED_FILE_OR_TEXT
expect_field() {
  local got
  rsyslog_field "$1" "$2" "$3" >"$work/got"
  if [[ -f $4 ]]; then
    cmp -s "$work/got" "$4" || fail "$1 line $2 $3: got '$(cat -v "$work/got")', want '$(cat -v "$4")'"
  else
    got=$(cat "$work/got")
    [[ $got == "$4" ]] || fail "$1 line $2 $3: got '$got', want '$4'"
  fi
}

# received INSTANCE: the number of lines the instance wrote so far.
received() { wc -l <"$(rsyslog_out "$1")"; }

"$send" init "$NTBOX_MACHINE"
services=$(find "$NTBOX_MACHINE/drive_c" -ipath '*/drivers/etc/services')
hosts=$(find "$NTBOX_MACHINE/drive_c" -ipath '*/drivers/etc/hosts')
[[ -f $services && -f $hosts ]] || fail "a new computer has no services or hosts file"
grep -qE '^syslog +514/udp' "$services" || fail "the default services file lacks syslog 514/udp"

rsyslog_start main 514 514
rsyslog_start alt 5514 -
main=0

# --- UDP and TCP deliver the exact bytes; rsyslog parses the RFC 3164 fields ---
printf '<13>May  5 13:20:06 srv1 Application: caf\xe9 "quoted" back\\slash  two  spaces' \
  >"$work/msg"
"$send" send 0 127.0.0.1 "$work/msg" >"$work/out"
main=$((main + 1))
rsyslog_wait_lines main $main
expect_field main 0 inputname udp514
expect_field main 0 rawmsg "$work/msg"
expect_field main 0 pri 13
expect_field main 0 timereported 'May  5 13:20:06'
expect_field main 0 hostname srv1
expect_field main 0 syslogtag Application:
printf ' caf\xe9 "quoted" back\\slash  two  spaces' >"$work/body"
expect_field main 0 msg "$work/body"
[[ ! -s $work/out ]] || fail "UDP send printed: $(cat "$work/out")"

# Two TCP messages: two connections. Without framing, two messages on one connection would
# arrive as one message.
"$send" send --count 2 1 127.0.0.1 "$work/msg" >"$work/out"
[[ $(cat "$work/out") == $'SetTarget 0\nSetTarget 0' ]] || fail "TCP sends printed: $(cat "$work/out")"
main=$((main + 2))
rsyslog_wait_lines main $main
for i in 1 2; do
  expect_field main $i inputname tcp514
  expect_field main $i rawmsg "$work/msg"
  expect_field main $i hostname srv1
done

# --- the 1024-byte cut: UDP in mode 2 only, never TCP ---
{
  printf '<14>May  5 13:20:06 srv1 Long: '
  head -c 990 /dev/zero | tr '\0' 'a'
  printf 'CUT'  # bytes 1021 to 1023 (1-based 1022..1024) end the cut datagram
  head -c 473 /dev/zero | tr '\0' 'b'
  printf 'END'
} >"$work/long"
[[ $(wc -c <"$work/long") == 1500 ]] || fail "the long message is $(wc -c <"$work/long") bytes"
head -c 1024 "$work/long" >"$work/cut"
[[ $(tail -c 3 "$work/cut") == CUT ]] || fail "the cut test message is built wrong"
for mode in 2 0 1; do
  "$send" send --mode $mode 0 127.0.0.1 "$work/long" >/dev/null
  main=$((main + 1))
  rsyslog_wait_lines main $main
  if [[ $mode == 2 ]]; then
    expect_field main $((main - 1)) rawmsg "$work/cut"
  else
    expect_field main $((main - 1)) rawmsg "$work/long"
  fi
done
"$send" send --mode 2 1 127.0.0.1 "$work/long" >/dev/null
main=$((main + 1))
rsyslog_wait_lines main $main
expect_field main $((main - 1)) inputname tcp514
expect_field main $((main - 1)) rawmsg "$work/long"

# --- another syslog/udp port in the services file moves UDP, not TCP ---
cp "$services" "$work/services.saved"
printf 'smtp 25/tcp mail\r\nsyslog 5514/udp # moved\r\n' >"$services"
"$send" send 0 127.0.0.1 "$work/msg" >/dev/null
rsyslog_wait_lines alt 1
expect_field alt 0 inputname udp5514
expect_field alt 0 rawmsg "$work/msg"
"$send" send 1 127.0.0.1 "$work/msg" >/dev/null
main=$((main + 1))
rsyslog_wait_lines main $main
expect_field main $((main - 1)) inputname tcp514
# No entry at all: 514.
printf 'smtp 25/tcp mail\r\n' >"$services"
"$send" send 0 127.0.0.1 "$work/msg" >/dev/null
main=$((main + 1))
rsyslog_wait_lines main $main
expect_field main $((main - 1)) inputname udp514
cp "$work/services.saved" "$services"

# --- names: the computer's hosts file first, then the resolver; digits are never looked up ---
printf '127.0.0.1 localhost\r\n127.0.0.1 LogHost # the syslog server\r\n' >"$hosts"
"$send" send 0 loghost "$work/msg" >"$work/out"
main=$((main + 1))
rsyslog_wait_lines main $main
[[ ! -s $work/out ]] || fail "sending to loghost printed: $(cat "$work/out")"

printf '127.0.0.1 3com-server\r\n' >>"$hosts"
before=$(received main)
"$send" send 0 3com-server "$work/msg" >"$work/out"
[[ ! -s $work/out ]] || fail "UDP to 3com-server printed: $(cat "$work/out")"
status=0
"$send" send 1 3com-server "$work/msg" >"$work/out" || status=$?
[[ $status == 4 && $(cat "$work/out") == "SetTarget 10049" ]] ||
  fail "TCP to 3com-server: status $status, printed $(cat "$work/out")"
"$send" send 0 no-such-host.invalid "$work/msg" >"$work/out"
[[ $(cat "$work/out") == "event 1 107 Error I1003 - SyslogServer Hostname could not be resolved." ]] ||
  fail "an unresolvable name printed: $(cat "$work/out")"
printf '<13>May  5 13:20:07 srv1 sentinel: after' >"$work/sentinel"
"$send" send 0 127.0.0.1 "$work/sentinel" >/dev/null
rsyslog_wait_lines main $((before + 1))
sleep 0.2  # anything sent before the sentinel has long been written
[[ $(received main) == $((before + 1)) ]] || fail "3com-server or an unresolvable name got through"
expect_field main "$before" rawmsg "$work/sentinel"

# --- a refused TCP connection gives the connect error; nothing arrives ---
status=0
"$send" send 1 127.0.0.2 "$work/msg" >"$work/out" || status=$?
[[ $status == 4 && $(cat "$work/out") == "SetTarget 10061" ]] ||
  fail "refused TCP: status $status, printed $(cat "$work/out")"

if ((failures > 0)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "syslog transport: all checks passed"
