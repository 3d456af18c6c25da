# Shared by the forwarding tests (source after lib/rsyslog.sh, with $ntbox set): failure counting,
# the service's registry values through ntbox, and the backup receiver on 127.0.0.2.

. "$(dirname "${BASH_SOURCE[0]}")/check.sh"

params='HKLM\SYSTEM\CurrentControlSet\Services\Brinmoor Vaskwell\Parameters'
# set_dword SUBKEY NAME VALUE / set_text SUBKEY NAME TEXT; SUBKEY is "" or "\System" etc.
set_dword() { "$ntbox" reg add "$params$1" /v "$2" /t REG_DWORD /d "$3" /f >/dev/null; }
set_text() { "$ntbox" reg add "$params$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null; }
# last_record: the System log's nLastRecord, in decimal.
last_record() {
  local hex
  hex=$("$ntbox" reg query "$params\\System" /v nLastRecord | awk '/nLastRecord/ {print $3}')
  echo $((hex))
}

# rsyslog_start_backup NAME UDP TCP: the harness's receiver, listening on 127.0.0.2.
if declare -F rsyslog_start >/dev/null; then
  eval "$(declare -f rsyslog_start _rsyslog_listening |
    sed -e 's/127\.0\.0\.1/127.0.0.2/g' -e 's/^rsyslog_start /rsyslog_start_backup /' \
      -e 's/^_rsyslog_listening /_rsyslog_listening_backup /' \
      -e 's/_rsyslog_listening \(udp\|tcp\)/_rsyslog_listening_backup \1/g')"
fi
