#!/usr/bin/env bash
# Runs bench/forward_bench in a private network namespace, where it may bind the TCP syslog port
# 514 without root and without colliding with anything.
# Usage: bench/forward_bench.sh BUILD_DIR [--records N] [--proto udp|tcp|both]
set -euo pipefail
build=${1:?usage: forward_bench.sh BUILD_DIR [ARGS...]}
shift
exec unshare -rn sh -c 'ip link set lo up && exec "$0" "$@"' "$build/bin/forward_bench" "$@"
