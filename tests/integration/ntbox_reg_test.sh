#!/bin/bash
# ntbox reg on a fresh emulated computer: query, add, delete, export, import, deny/allow, remote
# computers, and the exit codes and messages of its errors.
# Usage: ntbox_reg_test.sh BUILD_DIR
set -u
NTBOX="$1/bin/ntbox"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/lib/check.sh"

# run EXPECTED_RC ARGS...: runs ntbox with stdin from /dev/null; leaves $out and $err.
run() {
  local expected=$1
  shift
  "$NTBOX" "$@" </dev/null >"$tmp/out" 2>"$tmp/err"
  local rc=$?
  out=$(cat "$tmp/out")
  err=$(cat "$tmp/err")
  if [ "$rc" != "$expected" ]; then
    fail "ntbox $* exited $rc, expected $expected; stdout: $out; stderr: $err"
  fi
}

expect_out() {  # expect_out TEXT: stdout contains TEXT
  case "$out" in *"$1"*) ;; *) fail "stdout lacks '$1': $out" ;; esac
}
expect_err() {
  case "$err" in *"$1"*) ;; *) fail "stderr lacks '$1': $err" ;; esac
}
expect_no_out() {
  case "$out" in *"$1"*) fail "stdout has '$1': $out" ;; esac
}

"$NTBOX" init "$tmp/SRV1" >/dev/null || { echo "ntbox init failed" >&2; exit 1; }
export NTBOX_MACHINE="$tmp/SRV1"
K='HKLM\SOFTWARE\Vendor\App'

# --- add and query ---------------------------------------------------------------------------
run 0 reg add "$K" /v Text /d 'C:\dir "q"'
expect_out "The operation completed successfully."
run 0 reg add "$K" /v Count /t REG_DWORD /d 0x2A
run 0 reg add "$K" /v Big /t REG_DWORD /d 4294967295
run 0 reg add "$K" /v List /t REG_MULTI_SZ /d 'one#two' /s '#'
run 0 reg add "$K" /v Path /t REG_EXPAND_SZ /d '%SystemRoot%\x.dll'
run 0 reg add "$K" /v Bytes /t REG_BINARY /d 00a1ff
run 0 reg add "$K\Sub" /ve /d 'default text'
run 0 reg query "$K"
expect_out 'HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\App'
expect_out '    Text    REG_SZ    C:\dir "q"'
expect_out '    Count    REG_DWORD    0x2a'
expect_out '    Big    REG_DWORD    0xffffffff'
expect_out '    List    REG_MULTI_SZ    one\0two'
expect_out '    Path    REG_EXPAND_SZ    %SystemRoot%\x.dll'
expect_out '    Bytes    REG_BINARY    00A1FF'
expect_out 'HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\App\Sub'
expect_no_out 'default text'  # without /s only the subkey's name
run 0 reg query 'hkey_local_machine\software\VENDOR\app' /s
expect_out '    (Default)    REG_SZ    default text'
run 0 reg query "$K" /v COUNT
expect_out 'COUNT    REG_DWORD    0x2a'
expect_no_out 'Text'
run 0 reg query "$K\Sub" /ve
expect_out '(Default)    REG_SZ    default text'

# Overwriting needs /f; without a terminal to ask, it is refused and nothing changes.
run 1 reg add "$K" /v Count /t REG_DWORD /d 7
expect_err 'value Count already exists'
expect_err '/f'
run 0 reg query "$K" /v Count
expect_out '0x2a'
run 0 reg add "$K" /v count /t REG_DWORD /d 7 /f
run 0 reg query "$K" /v Count
expect_out 'Count    REG_DWORD    0x7'

# --- errors of add and query -----------------------------------------------------------------
run 2 reg add "$K" /v X /t REG_DWORD /d 4294967296
expect_err 'invalid REG_DWORD data'
run 2 reg add "$K" /v X /t REG_DWORD /d -1
expect_err 'invalid REG_DWORD data'
run 2 reg add "$K" /v X /t REG_BINARY /d 0g
expect_err 'invalid REG_BINARY data'
run 2 reg add "$K" /v X /t REG_QWORD /d 1
expect_err "invalid type 'REG_QWORD'"
run 2 reg add "$K" /v X /t REG_SZ /s '#' /d a
expect_err '/s takes one character'
run 2 reg add 'HKCR\x' /v X /d a
expect_err 'invalid key name'
run 2 reg query
run 2 reg frobnicate
expect_err "unknown operation 'frobnicate'"
run 1 reg query 'HKLM\SOFTWARE\Nowhere'
expect_err 'HKEY_LOCAL_MACHINE\SOFTWARE\Nowhere: The system was unable to find the specified registry key or value.'
run 1 reg query "$K" /v Missing
expect_err 'unable to find'

# --- delete ----------------------------------------------------------------------------------
run 1 reg delete "$K" /v Text
expect_err 'without /f'
run 0 reg query "$K" /v Text
run 0 reg delete "$K" /v Text /f
run 1 reg query "$K" /v Text
run 1 reg delete "$K" /v Text /f
expect_err 'unable to find'
run 1 reg delete 'HKLM' /f
expect_err 'a root key cannot be deleted'

# --- export, import --------------------------------------------------------------------------
run 0 reg export "$K" "$tmp/app.reg"
head -c 2 "$tmp/app.reg" | od -An -tx1 | grep -q 'ff fe' || fail "export has no UTF-16LE BOM"
iconv -f UTF-16 -t UTF-8 "$tmp/app.reg" >"$tmp/app.txt" || fail "export is not UTF-16"
grep -q $'^Windows Registry Editor Version 5.00\r$' "$tmp/app.txt" || fail "export header"
grep -q $'^"Count"=dword:00000007\r$' "$tmp/app.txt" || fail "export dword line"
grep -q $'^\\[HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Vendor\\\\App\\\\Sub\\]\r$' "$tmp/app.txt" ||
  fail "export subkey line"
run 1 reg export "$K" "$tmp/app.reg"
expect_err 'already exists; use /y'
run 0 reg export "$K" "$tmp/app.reg" /y
run 2 reg export "\\\\SRV1\\$K" "$tmp/remote.reg"

# Deleting the key takes its subtree; importing the export brings everything back.
run 0 reg query "$K" /s
before=$out
run 0 reg delete "$K" /f
run 1 reg query "$K\Sub"
run 0 reg import "$tmp/app.reg"
run 0 reg query "$K" /s
[ "$out" = "$before" ] || fail "import did not restore the key: $out"

# A UTF-8 file with deletions, comments and continuation lines.
cat >"$tmp/change.reg" <<'EOF'
Windows Registry Editor Version 5.00

; remove one value, the subkey, and add a wrapped binary value
[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\App]
"Count"=-
"Wrapped"=hex:01,02,\
  03,04

[-HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\App\Sub]
EOF
run 0 reg import "$tmp/change.reg"
run 0 reg query "$K" /s
expect_out 'Wrapped    REG_BINARY    01020304'
expect_no_out 'Count'
expect_no_out '\Sub'

# A bad line names the file and the line, and nothing of the file is applied.
cat >"$tmp/bad.reg" <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\App]
"Fresh"="new"
"Broken"=dword:xyz
EOF
run 1 reg import "$tmp/bad.reg"
expect_err "$tmp/bad.reg:5: dword: needs a hex number"
run 1 reg query "$K" /v Fresh
run 1 reg import "$tmp/missing.reg"
expect_err "cannot read $tmp/missing.reg"
printf 'not a registry file\n' >"$tmp/junk.reg"
run 1 reg import "$tmp/junk.reg"
expect_err "$tmp/junk.reg:1: not a registry file"

# --- deny, allow; an import that fails while writing leaves everything as it was ---------------
run 0 reg add 'HKLM\SOFTWARE\Locked\Inner' /v V /d 1
run 0 reg deny 'HKLM\SOFTWARE\Locked'
run 1 reg query 'HKLM\SOFTWARE\Locked'
expect_err 'Access is denied.'
run 1 reg add 'HKLM\SOFTWARE\Locked\Inner' /v W /d 2 /f
expect_err 'Access is denied.'
cat >"$tmp/partial.reg" <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\App]
"Before"="written first"

[HKEY_LOCAL_MACHINE\SOFTWARE\Locked\Inner]
"W"="2"
EOF
run 1 reg import "$tmp/partial.reg"
expect_err "$tmp/partial.reg:6: cannot write HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked\\Inner: Access is denied."
run 1 reg query "$K" /v Before
run 1 reg delete 'HKLM\SOFTWARE\Locked' /f
expect_err 'Access is denied.'
run 0 reg allow 'HKLM\SOFTWARE\Locked'
run 0 reg query 'HKLM\SOFTWARE\Locked\Inner' /v V
run 0 reg delete 'HKLM\SOFTWARE\Locked' /f
run 1 reg query 'HKLM\SOFTWARE\Locked'
run 1 reg deny 'HKLM\SOFTWARE\Nowhere'
expect_err 'unable to find'

# --- remote computers: sibling directories ---------------------------------------------------
"$NTBOX" init --name SRV2 "$tmp/SRV2" >/dev/null || fail "ntbox init SRV2"
run 0 reg add '\\SRV2\HKLM\SOFTWARE\Remote' /v Where /d srv2
run 0 reg query '\\srv2\HKEY_LOCAL_MACHINE\SOFTWARE\Remote'
expect_out '\\srv2\HKEY_LOCAL_MACHINE\SOFTWARE\Remote'
expect_out 'Where    REG_SZ    srv2'
run 1 reg query 'HKLM\SOFTWARE\Remote'
NTBOX_MACHINE="$tmp/SRV2" run 0 reg query 'HKLM\SOFTWARE\Remote' /v Where
run 0 reg delete '\\SRV2\HKLM\SOFTWARE\Remote' /f
run 1 reg query '\\SRV2\HKLM\SOFTWARE\Remote'
run 1 reg query '\\SRV9\HKLM\SOFTWARE'
expect_err 'The network path was not found.'
run 2 reg query '\\SRV2\HKCU\Software'
expect_err 'a remote computer offers only HKLM'

# --- the computer itself is missing or damaged -------------------------------------------------
NTBOX_MACHINE="$tmp/NOPE" run 1 reg query 'HKLM\SOFTWARE'
expect_err "$tmp/NOPE"
mkdir "$tmp/BROKEN"
head -c 4096 /dev/urandom >"$tmp/BROKEN/machine.db"
cp "$tmp/BROKEN/machine.db" "$tmp/broken.copy"
NTBOX_MACHINE="$tmp/BROKEN" run 1 reg add 'HKLM\SOFTWARE\X' /v V /d 1
expect_err "$tmp/BROKEN/machine.db"
cmp -s "$tmp/BROKEN/machine.db" "$tmp/broken.copy" || fail "the damaged database was changed"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "ntbox reg: all checks passed"
