#!/usr/bin/env bash
# The Japanese output encodings end to end: on a computer with code page 932, a source whose
# message library renders a Japanese description (kana, kanji, halfwidth katakana with and without
# sound marks, halfwidth punctuation, a yen sign, an NEC extension character, ASCII) is forwarded
# by the logger (tests/tools/run_logger) to rsyslogd in ISO-2022-JP (primary) and EUC-JP (backup),
# then in the code page (0) and with an unknown encoding (1), and mailed in ISO-2022-JP to
# aiosmtpd. The bytes that arrive are compared with Python's codecs applied to the expected text,
# after the converter's documented changes: halfwidth katakana letters go fullwidth (voiced pairs
# combined), halfwidth punctuation and lone sound marks are dropped in ISO-2022-JP, the yen sign
# exists only in ISO-2022-JP (JIS X 0201 Roman), and characters without a JIS code are dropped.
# Usage: forward_japanese_test.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: forward_japanese_test.sh BUILD_DIR}
build=$(cd "$build" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/rsyslog.sh"
. "$here/../tools/smtp_server.sh"
if ! /usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null; then
  echo "forward_japanese_test.sh: needs /usr/bin/python3 with aiosmtpd" >&2
  exit 1
fi
rsyslog_in_namespace "$here/$(basename "$0")" "$build"

ntbox=$build/bin/ntbox
run_logger=$build/bin/run_logger
work=$(mktemp -d)
RSYSLOG_WORK=$work/rsyslog
trap 'smtp_stop; rsyslog_stop_all; rm -rf "$work"' EXIT
export NTBOX_MACHINE=$work/SRV1

. "$here/lib/forwarder.sh"


pass() { "$run_logger" --passes 1 >"$work/run.out" || fail "run_logger exited with $?"; }
write() {
  "$ntbox" evt write System --source JpApp --id 100 --time 2003-05-05T09:05:03 \
    --string '東京都' --string 'ﾃﾞｰﾀ' >/dev/null
}

# The oracle: `oracle.py syslog ENCODING` prints the bytes a syslog server must get,
# `oracle.py mail ENCODING` the mail body (the text without its priority part, unnormalised,
# followed by the blank line after the record and the line end of the mail's end).
cat >"$work/oracle.py" <<'EOF'
import sys
import unicodedata

HEADER = '<133>May  5 09:05:03 srv1 Vaskwell: [INF] SRV1/JpApp (100) - "'
DESCRIPTION = ('ジャーナル通知:  東京都 のｻｰﾊﾞｰでｶﾞｲﾄﾞ｢ﾃｽﾄ｣を実行しましたﾟ｡\r\n'
               '料金 ¥500 (ASCII text) ① 漢字かなカナ ﾃﾞｰﾀ ﾎﾟｲﾝﾄ ｳﾞ')
TEXT = HEADER + DESCRIPTION + '"'

NO_JIS_CODE = '\u2460'  # circled digit one: an NEC extension of code page 932 only
HALFWIDTH_MARKS = ''.join(chr(c) for c in (0xFF61, 0xFF62, 0xFF63, 0xFF64, 0xFF65, 0xFF9E, 0xFF9F))
VOICED = set(range(0xFF76, 0xFF85)) | set(range(0xFF8A, 0xFF8F))
SEMI_VOICED = set(range(0xFF8A, 0xFF8F))


def normalise(text):
    text = ''.join(' ' if ord(c) < 32 else c for c in text)
    return ''.join(c for i, c in enumerate(text)
                   if not (c == ' ' and i > 15 and i + 1 < len(text) and text[i + 1] == ' '))


def fullwidth(text):
    """Halfwidth katakana letters as their fullwidth forms; a letter that has a voiced or
    semi-voiced form combines with the sound mark after it (U+FF73 with U+FF9E does not)."""
    out, i = [], 0
    while i < len(text):
        c, n = text[i], text[i + 1:i + 2]
        if (ord(c) in VOICED and n == '\uff9e') or (ord(c) in SEMI_VOICED and n == '\uff9f'):
            combined = unicodedata.normalize('NFKC', c + n)
            assert len(combined) == 1
            out.append(combined)
            i += 2
            continue
        out.append(unicodedata.normalize('NFKC', c) if 0xFF66 <= ord(c) <= 0xFF9D else c)
        i += 1
    return ''.join(out)


def drop(text, characters):
    return ''.join(c for c in text if c not in characters)


def encode(text, encoding):
    if encoding == 51220:
        return drop(fullwidth(text), NO_JIS_CODE + HALFWIDTH_MARKS).encode('iso2022_jp')
    if encoding == 51932:
        return drop(fullwidth(text), NO_JIS_CODE + '\u00a5').encode('euc_jp')
    if encoding == 0:
        # The platform's code page 932 keeps halfwidth katakana and gives the yen sign as 0x5C.
        return text.replace('\u00a5', '\\').encode('cp932')
    return b''


kind, encoding = sys.argv[1], int(sys.argv[2])
if kind == 'syslog':
    sys.stdout.buffer.write(encode(normalise(TEXT), encoding))
else:
    sys.stdout.buffer.write(encode(TEXT[len('<133>'):], encoding) + b'\r\n\r\n\r\n')
EOF
oracle() { python3 "$work/oracle.py" "$@"; }
# expect_raw INSTANCE INDEX ENCODING
expect_raw() {
  rsyslog_field "$1" "$2" rawmsg >"$work/got"
  oracle syslog "$3" >"$work/want"
  cmp -s "$work/got" "$work/want" ||
    fail "$1 line $2 in $3: got '$(xxd -p "$work/got" | tr -d '\n')', want '$(xxd -p "$work/want" | tr -d '\n')'"
}

"$ntbox" init --no-samples --acp 932 --tz Asia/Tokyo "$NTBOX_MACHINE" >/dev/null
cat >"$work/jpapp.mc" <<'EOF'
MessageIdTypedef=DWORD
MessageId=100
SymbolicName=MSG_JP_NOTICE
Language=English
ジャーナル通知:  %1 のｻｰﾊﾞｰでｶﾞｲﾄﾞ｢ﾃｽﾄ｣を実行しましたﾟ｡%n料金 ¥500 (ASCII text) ① 漢字かなカナ %2 ﾎﾟｲﾝﾄ ｳﾞ
.
EOF
system32=$(find "$NTBOX_MACHINE/drive_c" -maxdepth 2 -iname system32 -type d)
"$ntbox" mc "$work/jpapp.mc" -o "$system32/jpapp.dll" >/dev/null
"$ntbox" reg add 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\System\JpApp' \
  /v EventMessageFile /t REG_EXPAND_SZ /d '%SystemRoot%\system32\jpapp.dll' /f >/dev/null
"$ntbox" reg add 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\System\JpApp' \
  /v TypesSupported /t REG_DWORD /d 7 /f >/dev/null

set_dword "" nPreventOverrunDelay 0
set_dword "" nRFC3164Mode 1
set_text "" szTarget 127.0.0.1
set_text "" szTarget2 127.0.0.2
set_dword '\Application' nFilterEventType 0 # the service's own events stay out

rsyslog_start main 514 -
rsyslog_start_backup backup 514 -

# The message library renders the description that the oracle starts from.
write
"$ntbox" evt query System --format json >"$work/query.json"
python3 - "$work/query.json" "$work/oracle.py" <<'EOF' || fail "the rendered description is not the expected text"
import json, sys
record = json.loads(open(sys.argv[1], encoding='utf-8').read().splitlines()[-1])
oracle = {}
exec(open(sys.argv[2], encoding='utf-8').read().split('\nkind, encoding')[0], oracle)
want = oracle['DESCRIPTION']
if record['description'] != want:
    print('description:', repr(record['description']), 'want', repr(want), file=sys.stderr)
    sys.exit(1)
EOF

# --- ISO-2022-JP to the primary, EUC-JP to the backup ---
set_dword "" iSyslog1OutputEncoding 51220
set_dword "" iSyslog2OutputEncoding 51932
pass
rsyslog_wait_lines main 1
rsyslog_wait_lines backup 1
expect_raw main 0 51220
expect_raw backup 0 51932
# ISO-2022-JP stays 7-bit; EUC-JP has no escape sequences.
LC_ALL=C grep -q $'[\x80-\xff]' <(rsyslog_field main 0 rawmsg) && fail "ISO-2022-JP has 8-bit bytes"
LC_ALL=C grep -q $'\x1b' <(rsyslog_field backup 0 rawmsg) && fail "EUC-JP has an escape"

# --- the code page (Shift_JIS bytes from the platform) to the primary; value 1 to the backup ---
set_dword "" iSyslog1OutputEncoding 0
set_dword "" iSyslog2OutputEncoding 1
write
pass
rsyslog_wait_lines main 2
expect_raw main 1 0
# Value 1 sends an empty message: rsyslogd keeps nothing of it, and the logger goes on.
write
set_dword "" iSyslog1OutputEncoding 51932
pass
rsyslog_wait_lines main 3
expect_raw main 2 51932
sleep 0.2
[[ $(rsyslog_count backup) == 1 ]] || fail "encoding 1: the backup got $(rsyslog_count backup) messages"
grep -q '^rounds 1 ' "$work/run.out" || fail "the pass with encoding 1 did not finish"

# --- mail in ISO-2022-JP ---
smtp_start_store "$work/mails"
set_dword '\System' nDeliveryMethod 1
set_dword '\System' iEMailOutputEncoding 51220
write
pass
smtp_wait_mails "$work/mails" 1
python3 - "$work/mails/mail-0001.data" <(oracle mail 51220) <<'EOF' || fail "ISO-2022-JP mail body"
import sys
data = open(sys.argv[1], 'rb').read()
body = data.split(b'\r\n\r\n', 2)[2]
want = open(sys.argv[2], 'rb').read()
if body != want:
    print('mail body', body, 'want', want, file=sys.stderr)
    sys.exit(1)
EOF
[[ $(rsyslog_count main) == 3 ]] || fail "the mailed record went to syslog"

if ((failures > 0)); then
  echo "forward_japanese_test: $failures failure(s)" >&2
  exit 1
fi
echo "forward_japanese_test: all checks passed"
