#!/usr/bin/env bash
# The main job on the default emulated computer: creates the computer when it is missing and
# shows its event logs and their records.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup_deps.sh build
cmake --preset default >/dev/null
cmake --build --preset default --target ntbox
ntbox=build/tools/ntbox/ntbox

$ntbox evt logs
for log in System Application Security; do
  echo
  echo "== $log =="
  $ntbox evt query "$log"
done
