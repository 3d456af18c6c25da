#!/usr/bin/env bash
# The main job: the forwarding service at work on the emulated computer (NTBOX_MACHINE, else the
# default computer, created when missing). Builds vaskwell and ntbox, installs the service
# (`vaskwell -i`), starts an rsyslogd receiver on 127.0.0.1:514, starts the service under the
# emulated service control manager, writes a few events and shows the syslog messages that
# arrive. The service keeps running afterwards; scripts/stop.sh stops it.
#
# Everything runs in a private network namespace (unshare -rn, loopback up), so that port 514 is
# free and needs no root; the service, started from inside, lives in the same namespace.
#
#   scripts/run.sh [--wait SECONDS]   how long to wait for the written events (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

wait_seconds=30
if [[ ${1:-} == --wait && ${2:-} =~ ^[0-9]+$ ]]; then
  wait_seconds=$2
elif [[ $# -gt 0 ]]; then
  echo "usage: scripts/run.sh [--wait SECONDS]" >&2
  exit 2
fi

name="Brinmoor Vaskwell"
ntbox=$root/build/bin/ntbox
vaskwell=$root/build/bin/vaskwell

if [[ ${SENTREL_IN_NETNS:-} != 1 ]]; then
  scripts/setup_deps.sh build
  # The receiver and the namespace.
  missing=()
  for p in rsyslog iproute2 util-linux; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [[ ${#missing[@]} -gt 0 ]]; then
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo=sudo
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y \
      --no-install-recommends "${missing[@]}"
  fi
  cmake --preset default >/dev/null
  cmake --build --preset default --target ntbox vaskwell
  if [[ -n ${NTBOX_MACHINE:-} && ! -e $NTBOX_MACHINE/machine.db ]]; then
    "$ntbox" init "$NTBOX_MACHINE"
  fi
  # A service left running by an earlier run lives in that run's namespace, where nothing
  # listens any more: stop it, and start it again from this one.
  "$ntbox" sc stop "$name" --wait 10 >/dev/null 2>&1 || true
fi

. "$root/tests/integration/lib/rsyslog.sh"
rsyslog_in_namespace "$root/scripts/run.sh" "$@"

RSYSLOG_WORK=$(mktemp -d)
trap 'rsyslog_stop_all; rm -rf "$RSYSLOG_WORK"' EXIT

echo "== Installing the service =="
"$vaskwell" -i

echo
echo "== Receiver: rsyslogd on 127.0.0.1:514 (UDP and TCP) =="
rsyslog_start main 514 514

echo
echo "== Starting the service =="
"$ntbox" sc start "$name" | grep -E "SERVICE_NAME|STATE"

echo
echo "== Writing events =="
stamp=$(date +%H:%M:%S)
"$ntbox" evt write Application --source MyApp --id 1000 --type information \
  --string "Sentrel demo at $stamp: hello from the Application log"
"$ntbox" evt write System --source "Service Control Manager" --id 0x40001B7C --type information \
  --string "Sentrel demo at $stamp" --string running
"$ntbox" eventcreate /L Application /T ERROR /SO MyApp /ID 42 /D "Sentrel demo at $stamp: an error"

echo
echo "== Waiting up to $wait_seconds s for the events to arrive =="
out=$(rsyslog_out main)
for ((i = 0; i < wait_seconds * 10; i++)); do
  [[ $(grep -c -F "Sentrel demo at $stamp" "$out") -ge 3 ]] && break
  sleep 0.1
done

echo
echo "== Syslog messages received ($(rsyslog_count main)) =="
for ((i = 0; i < $(rsyslog_count main); i++)); do
  rsyslog_field main "$i" rawmsg
  echo
done

echo
"$ntbox" sc query "$name" | grep -E "STATE"
if [[ $(grep -c -F "Sentrel demo at $stamp" "$out") -lt 3 ]]; then
  echo "The demo events did not all arrive within $wait_seconds s." >&2
  exit 1
fi
echo "The service keeps running (forwarding to 127.0.0.1 of this run's network namespace)."
echo "Stop it with: scripts/stop.sh   (or: $ntbox sc stop \"$name\")"
