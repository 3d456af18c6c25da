#!/usr/bin/env bash
# Soak test: the real service forwards uniquely marked records over TCP and UDP while it is
# killed with SIGKILL at random moments and started again through the service control manager;
# nothing may be lost and the computer's database must stay sound (tests/integration/lib/soak.py
# tells the details). Runs in a private network namespace, where port 514 is free.
#
#   soak_test.sh BUILD_DIR                         the short run: 2,000 records, 5 kills
#   soak_test.sh BUILD_DIR --records 10000 --kills 20 --rate 100
#                                                  the long run (see soak.py --help)
set -euo pipefail
build=${1:?usage: soak_test.sh BUILD_DIR [soak.py options]}
build=$(cd "$build" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)
if [[ ${SENTREL_IN_NETNS:-} != 1 ]]; then
  exec unshare -rn env SENTREL_IN_NETNS=1 bash -c 'ip link set lo up && exec bash "$0" "$@"' \
    "$here/soak_test.sh" "$build" "$@"
fi
exec python3 "$here/lib/soak.py" --build "$build" "$@"
