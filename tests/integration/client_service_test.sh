#!/usr/bin/env bash
# The configuration client and the running service together: values saved through CFGVaskwell's
# main window (driven by client_drive) reach the running service at its next pass, without a
# restart, and an Apply does not make the service forward its records again. The service runs
# under the emulated service control manager with an rsyslogd receiver on 127.0.0.1:514, in a
# private network namespace.
# Usage: client_service_test.sh BUILD_DIR
set -euo pipefail

. "$(dirname "$0")/lib/running_service.sh" "$@"
drive=$build/bin/client_drive
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work

. "$here/lib/check.sh"
# write N: an information record "rec-N" in the System log.
write() { "$ntbox" evt write System --source MyApp --id 1000 --string "rec-$1" >/dev/null; }
received() { grep -c -F "rec-$1\\\"" "$(rsyslog_out main)" || true; }
# pri N: the PRI of the message of record rec-N.
pri() {
  local i
  for ((i = 0; i < $(rsyslog_count main); i++)); do
    if rsyslog_field main "$i" rawmsg | grep -q -F "rec-$1\""; then
      rsyslog_field main "$i" pri
      return
    fi
  done
}

"$ntbox" init --no-samples --tz UTC "$NTBOX_MACHINE" >/dev/null
"$vaskwell" -i >/dev/null
# Through the window: poll every 200 ms, and keep the Application log (the service's own
# events) out of the forwarding.
"$drive" txtnSleep=200 chkLogApplication=0 pbApply || fail "client_drive could not save"

rsyslog_start main 514 514
"$ntbox" sc start "$name" >/dev/null || fail "sc start failed"
write 1
rsyslog_wait_lines main 1 || fail "rec-1 did not arrive"
[[ $(pri 1) == 133 ]] || fail "rec-1 arrived with PRI $(pri 1), want 133 (local0, notice)"

# The running service takes the facility saved now at its next pass.
"$drive" cboxSystemFacility=LOCAL_7 pbApply || fail "client_drive could not save the facility"
write 2
rsyslog_wait_lines main 2 || fail "rec-2 did not arrive"
[[ $(pri 2) == 189 ]] || fail "rec-2 arrived with PRI $(pri 2), want 189 (local7, notice)"

# The saves did not rewind the service's progress: nothing came twice.
write 3
rsyslog_wait_lines main 3 || fail "rec-3 did not arrive"
sleep 1
for i in 1 2 3; do
  [[ $(received "$i") == 1 ]] || fail "rec-$i arrived $(received "$i") times"
done

if ((failures > 0)); then
  echo "client_service_test: $failures failure(s)" >&2
  exit 1
fi
echo "client_service_test: OK"
