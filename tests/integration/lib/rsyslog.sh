# A real syslog receiver for the integration tests: rsyslogd in the foreground with a private
# configuration, listening on loopback with imudp and imtcp, writing every message it receives
# as one JSON line (input name, PRI, time stamp, host, tag, message and the raw bytes).
#
# Source this file from a script that already runs in a private network namespace, where the
# fixed port 514 cannot collide with anything and no root is needed:
#
#   unshare -rn bash -c 'ip link set lo up; . tests/integration/lib/rsyslog.sh; ...'
#
# (rsyslog_in_namespace below re-runs a script that way). Functions:
#
#   rsyslog_start NAME UDP_PORT TCP_PORT   start an instance (either port may be "-": no input);
#                                          returns when both ports listen
#   rsyslog_out NAME                       the instance's JSON lines file
#   rsyslog_wait_lines NAME N [SECONDS]    wait until the file has at least N lines (default 30 s)
#   rsyslog_stop_all                       kill every instance (the EXIT trap, unless the
#                                          script has one: then that trap must call it)
#   rsyslog_field NAME INDEX FIELD         print field FIELD of line INDEX (0-based) as the exact
#                                          bytes received (no newline added)
#   rsyslog_count NAME [INPUT]             number of lines, or of lines from input INPUT
#
# Inputs are named udpPORT and tcpPORT (the "inputname" field). Settings: messages up to 64 KiB
# (the default 8 KiB would cut long ones), control characters kept as received, no DNS look-ups,
# many TCP sessions for bursts of one-connection-per-message senders. imtcp, not imptcp: imptcp
# drops a last message without a trailing line feed, imtcp writes it when the connection closes.

# Set RSYSLOG_WORK to a directory the script removes (else the first start makes one under
# $TMPDIR); each instance gets a subdirectory.
RSYSLOG_WORK=${RSYSLOG_WORK:-}
RSYSLOG_PIDS=()
RSYSLOG_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# rsyslog_in_namespace SCRIPT ARGS...: runs SCRIPT with bash in a new user and network namespace
# with loopback up, unless the environment says this already happened.
rsyslog_in_namespace() {
  if [[ ${SENTREL_IN_NETNS:-} == 1 ]]; then
    return 0
  fi
  if ! command -v unshare >/dev/null || ! command -v rsyslogd >/dev/null; then
    echo "rsyslog.sh: unshare and rsyslogd are needed (scripts/setup_deps.sh test)" >&2
    exit 1
  fi
  local script=$1
  shift
  exec unshare -rn env SENTREL_IN_NETNS=1 bash -c 'ip link set lo up && exec bash "$0" "$@"' \
    "$script" "$@"
}

rsyslog_stop_all() {
  local pid
  for pid in "${RSYSLOG_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${RSYSLOG_PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  RSYSLOG_PIDS=()
}

rsyslog_out() { echo "$RSYSLOG_WORK/$1/out.json"; }

# _rsyslog_listening PROTO PORT: whether something listens on 127.0.0.1:PORT.
_rsyslog_listening() {
  local flag=-lnt
  [[ $1 == udp ]] && flag=-lnu
  ss "$flag" "sport = :$2" 2>/dev/null | grep -q "127.0.0.1:$2"
}

rsyslog_start() {
  local name=$1 udp=$2 tcp=$3
  : "${RSYSLOG_WORK:=$(mktemp -d)}"
  local dir=$RSYSLOG_WORK/$name
  mkdir -p "$dir"
  {
    echo "global(workDirectory=\"$dir\" maxMessageSize=\"64k\""
    echo "       parser.escapeControlCharactersOnReceive=\"off\" net.enableDNS=\"off\")"
    if [[ $udp != - ]]; then
      echo 'module(load="imudp")'
      echo "input(type=\"imudp\" address=\"127.0.0.1\" port=\"$udp\" name=\"udp$udp\")"
    fi
    if [[ $tcp != - ]]; then
      echo 'module(load="imtcp" maxSessions="2000")'
      echo "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"$tcp\" name=\"tcp$tcp\")"
    fi
    cat <<'EOF'
template(name="jsonline" type="list") {
  constant(value="{")
  property(name="inputname" format="jsonf") constant(value=",")
  property(name="pri" format="jsonf") constant(value=",")
  property(name="timereported" format="jsonf" dateFormat="rfc3164") constant(value=",")
  property(name="hostname" format="jsonf") constant(value=",")
  property(name="syslogtag" format="jsonf") constant(value=",")
  property(name="msg" format="jsonf") constant(value=",")
  property(name="rawmsg" format="jsonf")
  constant(value="}\n")
}
EOF
    echo "action(type=\"omfile\" file=\"$dir/out.json\" template=\"jsonline\")"
  } >"$dir/rsyslog.conf"
  : >"$dir/out.json"
  rsyslogd -n -iNONE -f "$dir/rsyslog.conf" >"$dir/rsyslogd.log" 2>&1 &
  RSYSLOG_PIDS+=($!)
  local pid=$! tries=0
  # Callers with an EXIT trap of their own call rsyslog_stop_all from it.
  [[ -n $(trap -p EXIT) ]] || trap rsyslog_stop_all EXIT
  until { [[ $udp == - ]] || _rsyslog_listening udp "$udp"; } &&
    { [[ $tcp == - ]] || _rsyslog_listening tcp "$tcp"; }; do
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "rsyslog.sh: rsyslogd $name exited:" >&2
      cat "$dir/rsyslogd.log" >&2
      return 1
    fi
    tries=$((tries + 1))
    if ((tries > 500)); then
      echo "rsyslog.sh: rsyslogd $name did not listen within 10 s" >&2
      return 1
    fi
    sleep 0.02
  done
}

rsyslog_wait_lines() {
  local file
  file=$(rsyslog_out "$1")
  local want=$2 limit=$((${3:-30} * 50)) tries=0
  while (($(wc -l <"$file") < want)); do
    tries=$((tries + 1))
    if ((tries > limit)); then
      echo "rsyslog.sh: $1 has $(wc -l <"$file") lines, expected $want" >&2
      return 1
    fi
    sleep 0.02
  done
}

rsyslog_field() {
  python3 "$RSYSLOG_LIB_DIR/rsyslog_json.py" field "$(rsyslog_out "$1")" "$2" "$3"
}

rsyslog_count() {
  python3 "$RSYSLOG_LIB_DIR/rsyslog_json.py" count "$(rsyslog_out "$1")" "${2:-}"
}
