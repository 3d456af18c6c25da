#!/usr/bin/env bash
# The mail client against real servers on 127.0.0.1:25 in a private network namespace: aiosmtpd
# storing every mail (one mail per pass, one per record, dot lines, ISO-2022-JP text) and the
# scripted fault server (each refusal code, multi-line and over-long replies, a silent server given
# up after the time-out, a stop during a slow dialogue). Driven by tests/tools/smtp_send on a
# fresh emulated computer.
# Usage: smtp_mail_test.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: smtp_mail_test.sh BUILD_DIR}
build=$(cd "$build" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
tools=$(cd "$here/../tools" && pwd)
. "$tools/smtp_server.sh"
if ! command -v unshare >/dev/null || ! /usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null; then
  echo "smtp_mail_test.sh: needs unshare and /usr/bin/python3 with aiosmtpd" >&2
  exit 1
fi
smtp_in_namespace "$here/$(basename "$0")" "$build"

send=$build/bin/smtp_send
work=$(mktemp -d)
trap 'smtp_stop; rm -rf "$work"' EXIT
export NTBOX_MACHINE=$work/SRV1
"$send" init "$NTBOX_MACHINE"

. "$(dirname "${BASH_SOURCE[0]}")/lib/check.sh"
# expect_output WHAT EXPECTED ACTUAL
expect_output() {
  [[ $3 == "$2" ]] || fail "$1: got '$(printf %s "$3" | tr '\n' '|')', want '$(printf %s "$2" | tr '\n' '|')'"
}
mail() { "$send" mail "$@" 2>>"$work/stderr" || true; }

# --- aiosmtpd ---------------------------------------------------------------------------------
smtp_start_store "$work/pass"
out=$(mail 127.0.0.1 sentrel@srv1 admin@example.org "Event 7036 on SRV1" \
  $'first record\r\nsecond line' "second record" "third record")
expect_output "batched pass" $'open 1\nclosed 221' "$out"
smtp_wait_mails "$work/pass" 1
[[ $(smtp_mail_count "$work/pass") == 1 ]] || fail "batched pass: $(smtp_mail_count "$work/pass") mails"
data=$(cat -v "$work/pass/mail-0001.data")
date_re='^Date: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), [ 123][0-9] [A-Z][a-z][a-z] [0-9]{4} [ 12][0-9]:[0-5][0-9]:[0-5][0-9] \+0000\^M$'
[[ $(head -n 1 <<<"$data") =~ $date_re ]] || fail "Date header: $(head -n 1 <<<"$data")"
expected_rest='From: <sentrel@srv1>^M
Subject: Event 7036 on SRV1^M
To: <admin@example.org>^M
X-Mailer: Brinmoor Sentrel^M
^M
Message from Brinmoor Sentrel:^M
^M
first record^M
second line^M
^M
second record^M
^M
third record^M
^M
^M'
expect_output "batched mail" "$expected_rest" "$(tail -n +2 <<<"$data")"
grep -qx "from sentrel@srv1" "$work/pass/mail-0001.envelope" || fail "envelope sender"
grep -qx "to admin@example.org" "$work/pass/mail-0001.envelope" || fail "envelope recipient"

smtp_start_store "$work/single"
out=$(mail --per-record 127.0.0.1 sentrel@srv1 admin@example.org "Event" one two three)
expect_output "one mail per record" $'open 1\nclosed 221\nopen 1\nclosed 221\nopen 1\nclosed 221' "$out"
smtp_wait_mails "$work/single" 3
for n in 1 2 3; do
  words=(one two three)
  file=$work/single/mail-000$n.data
  grep -q "^Subject: Event $n"$'\r'"\$" "$file" || fail "mail $n subject"
  grep -q "^${words[n - 1]}"$'\r'"\$" "$file" || fail "mail $n text"
done

smtp_start_store "$work/dots"
mail 127.0.0.1 a@b c@d "s" $'before\r\n.\r\n.hidden\r\nafter' >/dev/null
smtp_wait_mails "$work/dots" 1
body_is() {  # body_is FILE EXPECTED: the mail body after its first line and blank line
  /usr/bin/python3 - "$1" "$2" <<'EOF'
import sys
data = open(sys.argv[1], "rb").read()
body = data.split(b"Message from Brinmoor Sentrel:\r\n\r\n", 1)[-1]
sys.exit(0 if body == sys.argv[2].encode("utf-8", "surrogateescape") else 1)
EOF
}
body_is "$work/dots/mail-0001.data" $'before\r\n.\r\n.hidden\r\nafter\r\n\r\n\r\n' ||
  fail "dot lines: $(cat -v "$work/dots/mail-0001.data")"

# ISO-2022-JP: the same bytes as Python's codec gives for plain kanji and kana.
smtp_start_store "$work/jis"
mail --encoding 51220 127.0.0.1 a@b c@d "s" "日本語のテキスト" >/dev/null
smtp_wait_mails "$work/jis" 1
/usr/bin/python3 - "$work/jis/mail-0001.data" <<'EOF' || fail "ISO-2022-JP body"
import sys
data = open(sys.argv[1], "rb").read()
want = "日本語のテキスト".encode("iso2022_jp") + b"\r\n\r\n\r\n"
sys.exit(0 if data.endswith(b"Sentrel:\r\n\r\n" + want) else 1)
EOF

# --- misbehaving servers ----------------------------------------------------------------------
check_mode() {
  local mode=$1 want=$2
  smtp_start_fault "$mode" "$work/$mode.log"
  out=$(mail 127.0.0.1 a@b c@d "s" "text" | head -n 1)
  expect_output "$mode" "open $want" "$out"
}
check_mode greet554 1
[[ $(head -n 1 "$work/greet554.log") == HELO\ * ]] || fail "greet554: no HELO after the greeting"
check_mode helo500 -2
check_mode mail550 -3
check_mode rcpt550 -4
check_mode rcpt251 -4
check_mode data250 -6
check_mode droprcpt -4
check_mode multiline 1
check_mode longline 1
check_mode bare250 1
grep -qx "<end of data>" "$work/longline.log" || fail "longline: the mail did not end"
grep -qx "QUIT" "$work/longline.log" || fail "longline: no QUIT"

smtp_stop
expect_output "nothing listening" "open -1" "$(mail 127.0.0.1 a@b c@d s text)"

smtp_start_fault silent "$work/silent.log"
start=$(date +%s%N)
out=$(mail --timeout 500 127.0.0.1 a@b c@d s text)
elapsed=$((($(date +%s%N) - start) / 1000000))
expect_output "silent server" "open -2" "$out"
((elapsed >= 500 && elapsed < 3000)) || fail "silent server given up after $elapsed ms"

smtp_start_fault slowmail "$work/slowmail.log"
start=$(date +%s%N)
"$send" mail 127.0.0.1 a@b c@d s text >"$work/slow.out" 2>>"$work/stderr" &
sender=$!
sleep 0.5
kill -TERM "$sender"
wait "$sender" || true
elapsed=$((($(date +%s%N) - start) / 1000000))
expect_output "stop during a slow dialogue" $'open -3\nstop requested' "$(cat "$work/slow.out")"
((elapsed < 3000)) || fail "stop honoured after $elapsed ms"

if ((failures > 0)); then
  echo "smtp_mail_test: $failures failure(s)" >&2
  exit 1
fi
echo "smtp_mail_test: all passed"
