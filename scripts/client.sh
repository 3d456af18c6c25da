#!/usr/bin/env bash
# Starts the configuration client CFGVaskwell on the emulated computer (NTBOX_MACHINE, else the
# default computer), in a window on the current display. Builds what it needs, creates the
# computer when it is missing, and installs the service there first when it is not installed
# (`vaskwell -i`), so that there is a configuration to edit.
#
#   scripts/client.sh                            a window on $DISPLAY
#   QT_QPA_PLATFORM=offscreen scripts/client.sh  no display (it then runs until killed)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup_deps.sh build
cmake --preset default >/dev/null
cmake --build --preset default --target CFGVaskwell ntbox vaskwell

ntbox=$root/build/bin/ntbox
vaskwell=$root/build/bin/vaskwell
if [[ -n ${NTBOX_MACHINE:-} && ! -e $NTBOX_MACHINE/machine.db ]]; then
  "$ntbox" init "$NTBOX_MACHINE"
fi
if ! "$ntbox" sc query "Brinmoor Vaskwell" >/dev/null 2>&1; then
  "$vaskwell" -i
fi
if [[ -z ${DISPLAY:-}${WAYLAND_DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
  echo "client.sh: no display (DISPLAY is not set); set QT_QPA_PLATFORM=offscreen to run without one" >&2
  exit 1
fi
exec "$root/build/bin/CFGVaskwell" "$@"
