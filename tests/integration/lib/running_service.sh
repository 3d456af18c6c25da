# Set-up of the tests that run the real vaskwell under the emulated service control manager with
# an rsyslogd receiver on 127.0.0.1, in a private network namespace. Source it first thing, with
# the script's arguments: `. "$(dirname "$0")/lib/running_service.sh" "$@"`.
#
# It re-runs the script in the namespace, then sets $build (absolute), $here (the script's
# folder), $ntbox, $vaskwell, $name (the service), $work (a temporary folder), RSYSLOG_WORK and
# NTBOX_MACHINE ($work/SRV1, not made yet). At exit the service is stopped, the receivers end and
# $work is removed.

build=${1:?usage: $(basename "$0") BUILD_DIR}
build=$(cd "$build" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/rsyslog.sh"
rsyslog_in_namespace "$here/$(basename "$0")" "$build"

ntbox=$build/bin/ntbox
vaskwell=$build/bin/vaskwell
name="Brinmoor Vaskwell"
work=$(mktemp -d)
RSYSLOG_WORK=$work/rsyslog
export NTBOX_MACHINE=$work/SRV1
cleanup() {
  [[ -d $NTBOX_MACHINE ]] && "$ntbox" sc stop "$name" --wait 10 >/dev/null 2>&1 || true
  rsyslog_stop_all
  rm -rf "$work"
}
trap cleanup EXIT
