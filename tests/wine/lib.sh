# Helpers of the Wine test steps; sourced. The caller (scripts/wine_tests.sh) has set WINEPREFIX,
# started the prefix's Wine server and exported SERVICES_LOG, the file that receives the standard
# error of Wine's services and so of every service they start.

# Prints a failure and ends the step.
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

pass() {
  echo "ok   $*"
}

# A Wine program's output without the CR of its CR LF line ends.
wine_out() {
  wine "$@" 2>/dev/null | tr -d '\r'
}

# The data of one registry value as `wine reg query` prints it; nothing (and status 1) when the
# value or its key is missing.
#   reg_value 'HKLM\...\Key' Name
reg_value() {
  local out
  out=$(wine_out reg query "$1" /v "$2") || return 1
  printf '%s\n' "$out" | awk -v name="$2" -F '    ' '$2 == name { print $4; found = 1 } END { exit !found }'
}

# A key with its values and every key below it, as `wine reg query KEY /s` lists them (one Wine
# program for many values).
reg_tree() {
  wine_out reg query "$1" /s
}

# The data of one value in such a listing; KEY as the listing names it (HKEY_LOCAL_MACHINE\...).
#   tree_value "$tree" 'HKEY_LOCAL_MACHINE\...\Key' Name
tree_value() {
  printf '%s\n' "$1" | awk -v key="$2" -v name="$3" -F '    ' '
    /^[^ ]/ { current = $0; next }
    current == key && $2 == name { print $4; found = 1 }
    END { exit !found }'
}

# Whether a registry key exists.
reg_key_exists() {
  wine reg query "$1" >/dev/null 2>&1
}

# The state line of `sc query` ("1  STOPPED", "4  RUNNING"), or the failure sc printed.
service_state() {
  wine_out sc query "$1" | awk '/STATE/ { print $3, $4; found = 1 } END { if (!found) print "none" }'
}

# Milliseconds since the epoch.
now_ms() {
  date +%s%3N
}

# Waits up to SECONDS for a command to succeed, trying again every half second.
#   wait_for SECONDS COMMAND...
wait_for() {
  local deadline=$(($(now_ms) + $1 * 1000))
  shift
  until "$@"; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.5
  done
}

# Whether SERVICES_LOG holds a line with TEXT (a fixed string).
services_logged() {
  grep -qF -- "$1" "$SERVICES_LOG"
}
