#!/usr/bin/env bash
# Stops the service that scripts/run.sh started, on the same emulated computer (NTBOX_MACHINE,
# else the default computer), and shows its state before and after.
set -euo pipefail
cd "$(dirname "$0")/.."
ntbox=build/bin/ntbox
[[ -x $ntbox ]] || { cmake --preset default >/dev/null && cmake --build --preset default --target ntbox; }
exec "$ntbox" sc stop "Brinmoor Vaskwell" --wait 10
