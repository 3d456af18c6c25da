#!/usr/bin/env bash
# Filter rules made in the client's rule editor reach a running service: the real vaskwell under
# the emulated service control manager forwards to an rsyslogd receiver in a private network
# namespace, and the client (driven through its windows by client_drive) inserts, edits, moves
# and saves rules; each save changes what the service forwards at its next pass, without a
# restart. Clearing "Enable Filter Rules", ticking it again and "Reset to default" take effect
# the same way.
# Usage: rule_editor_test.sh BUILD_DIR
set -euo pipefail

. "$(dirname "$0")/lib/running_service.sh" "$@"
client_drive=$build/bin/client_drive
[[ -x $client_drive ]] || {
  echo "rule_editor_test.sh: $client_drive is missing (the client needs Qt 6)" >&2
  exit 1
}

. "$here/lib/forwarder.sh"

# write SOURCE ID TAG: an information record in the System log.
write() {
  "$ntbox" evt write System --source "$1" --id "$2" --string "$3" >/dev/null
}
arrived() { grep -c -F "$1\\\"" "$(rsyslog_out main)" || true; }
# wait_for TAG [SECONDS]: until a message with TAG has arrived.
wait_for() {
  local tries=$((${2:-30} * 20))
  while (($(arrived "$1") == 0)); do
    tries=$((tries - 1))
    ((tries > 0)) || return 1
    sleep 0.05
  done
}
# discarded TAG MARKER: TAG was written before MARKER, which always goes out; once MARKER has
# arrived, the pass has dealt with TAG too.
discarded() {
  wait_for "$2" || fail "$2 did not arrive"
  [[ $(arrived "$1") == 0 ]] || fail "$1 arrived, but a rule should have discarded it"
}
forwarded() { wait_for "$1" || fail "$1 did not arrive"; }
# client ARGS...: one run of the client through its windows; the rules are saved by Apply.
client() {
  "$client_drive" "$@" 2>"$work/client.err" || fail "client_drive $*: $(cat "$work/client.err")"
}
# marker N: a record no rule ever matches.
marker() { write MyApp 100 "marker-$1"; }

"$ntbox" init --no-samples --tz UTC "$NTBOX_MACHINE" >/dev/null
"$vaskwell" -i >/dev/null
set_dword "" nSleepTime 100
set_dword "" nPreventOverrunDelay 0
set_dword '\Application' nFilterEventType 0 # the service's own events stay out of the forwarding
# The event sources the editor lists for the System log.
for source in MyApp Other; do
  "$ntbox" reg add "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\$source" /f >/dev/null
done
rsyslog_start main 514 -
"$ntbox" sc start "$name" >/dev/null || fail "sc start failed"

# --- without rules everything goes out ---
write MyApp 7036 plain-1
forwarded plain-1

# --- a new rule for event 7036, left with its action "discard" ---
client chkSystemFilterRules=1 cmdAdvancedSystem mnuInsertNew MSFlexGridFR=1 txtEventID=7036 \
  cmdOK pbApply
write MyApp 7036 discard-1
marker 1
discarded discard-1 marker-1

# --- a second rule that sends MyApp's 7036 by syslog, moved in front of the first ---
client cmdAdvancedSystem mnuInsertNew MSFlexGridFR=2 "cbAction=Send Syslog" \
  cbFREventSource=MyApp txtEventID=7036 cbNumber=1 cmdOK pbApply
write MyApp 7036 sent-1
write Other 7036 discard-2
marker 2
forwarded sent-1
discarded discard-2 marker-2

# --- Cancel changes nothing: rule 1 deleted in the window, then cancelled ---
client cmdAdvancedSystem MSFlexGridFR=1 mnuDeleteSelRule cmdCancel pbApply
write MyApp 7036 sent-2
marker 3
forwarded sent-2

# --- "Enable Filter Rules" cleared: no rules at the next pass ---
client chkSystemFilterRules=0 pbApply
write Other 7036 cleared-1
forwarded cleared-1

# --- ticked again, with two new rules: MyApp's 7036 by syslog, every other 7036 discarded
# (a cleared box was saved as no rules, so the window starts from none) ---
client chkSystemFilterRules=1 cmdAdvancedSystem mnuInsertNew MSFlexGridFR=1 txtEventID=7036 \
  "cbAction=Send Syslog" cbFREventSource=MyApp mnuInsertNew MSFlexGridFR=2 txtEventID=7036 \
  cmdOK pbApply
write MyApp 7036 sent-3
write Other 7036 discard-3
marker 4
forwarded sent-3
discarded discard-3 marker-4

# --- deleting the rule that sends: MyApp's 7036 is discarded too ---
client cmdAdvancedSystem MSFlexGridFR=1 mnuDeleteSelRule cmdOK pbApply
write MyApp 7036 discard-4
marker 5
discarded discard-4 marker-5
system_key="$params\\System" # $params (lib/forwarder.sh) stays the Parameters key for set_dword
[[ $("$ntbox" reg query "$system_key" /v nFilterRules | awk '/nFilterRules/ {print $3}') == 0x1 ]] ||
  fail "nFilterRules after the delete: $("$ntbox" reg query "$system_key")"

# --- "Reset to default": the rules are gone for the running service as well. The reset also
# starts the log again from its first record, so the records discarded so far arrive now. ---
# The reset writes the client's default sleep time (60 s) before this run sets 100 again, and a
# pass in between would sleep for a minute: let the reset fall into a 6 s pause between passes.
set_dword "" nSleepTime 6000
marker 6
forwarded marker-6
sleep 0.5
marker 7
forwarded marker-7 # forwarded by a pass that loaded the 6 s pause
"$client_drive" mnuFileReset txtnSleep=100 pbApply 2>"$work/client.err" || true
grep -q "Do you really want to reset" "$work/client.err" ||
  fail "no reset question: $(cat "$work/client.err")"
# One pass sends the log again from its start: the last of them arriving means all have.
if wait_for discard-4 90; then
  for tag in discard-1 discard-2 discard-3; do
    [[ $(arrived "$tag") != 0 ]] || fail "$tag did not arrive after the reset"
  done
else
  fail "the rules still discarded after the reset"
fi
# A pass that fell between the reset's write of the 60 s default and Apply's 100 (a slow client
# start on a busy machine) sleeps a minute before the next one: wait that out.
write Other 7036 reset-1
wait_for reset-1 75 || fail "reset-1 did not arrive"

if ((failures > 0)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "rule editor: all checks passed"
