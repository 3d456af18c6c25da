# Mail servers for the tests on 127.0.0.1:25, in a private network namespace where port 25 is
# free and no root is needed. Source this file from a bash script:
#
#   . tests/tools/smtp_server.sh
#   smtp_in_namespace "$0" "$@"        # re-runs the script in a new namespace, loopback up
#   smtp_start_store DIR               # aiosmtpd; mail N becomes DIR/mail-000N.{envelope,data}
#   smtp_start_fault MODE LOG          # tests/tools/smtp_fault_server.py in MODE (see there);
#                                      # every command line it receives is appended to LOG
#   smtp_wait_mails DIR N [SECONDS]    # wait until DIR holds at least N mails (default 10 s)
#   smtp_mail_count DIR                # number of mails in DIR
#   smtp_stop                          # stop the running server (each start stops the last one)
#
# One server runs at a time. The EXIT trap stops it unless the script has a trap of its own,
# which must then call smtp_stop.

SMTP_TOOLS_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SMTP_SERVER_PID=

smtp_in_namespace() {
  if [[ ${SENTREL_IN_NETNS:-} == 1 ]]; then
    return 0
  fi
  local script=$1
  shift
  exec unshare -rn env SENTREL_IN_NETNS=1 bash -c 'ip link set lo up && exec bash "$0" "$@"' \
    "$script" "$@"
}

smtp_stop() {
  if [[ -n $SMTP_SERVER_PID ]]; then
    kill "$SMTP_SERVER_PID" 2>/dev/null || true
    wait "$SMTP_SERVER_PID" 2>/dev/null || true
    SMTP_SERVER_PID=
  fi
}

# _smtp_wait_listening LOGFILE: until something listens on 127.0.0.1:25.
_smtp_wait_listening() {
  local tries=0
  until ss -lnt "sport = :25" 2>/dev/null | grep -q "127.0.0.1:25"; do
    if ! kill -0 "$SMTP_SERVER_PID" 2>/dev/null; then
      echo "smtp_server.sh: the server exited:" >&2
      cat "$1" >&2
      return 1
    fi
    tries=$((tries + 1))
    if ((tries > 500)); then
      echo "smtp_server.sh: nothing listens on 127.0.0.1:25 after 10 s" >&2
      return 1
    fi
    sleep 0.02
  done
}

smtp_start_store() {
  smtp_stop
  mkdir -p "$1"
  PYTHONPATH=$SMTP_TOOLS_DIR /usr/bin/python3 -m aiosmtpd -n -l 127.0.0.1:25 \
    -c smtp_store_handler.StoreHandler "$1" >"$1/server.log" 2>&1 &
  SMTP_SERVER_PID=$!
  [[ -n $(trap -p EXIT) ]] || trap smtp_stop EXIT
  _smtp_wait_listening "$1/server.log"
}

smtp_start_fault() {
  smtp_stop
  : >"$2"
  python3 "$SMTP_TOOLS_DIR/smtp_fault_server.py" "$1" "$2" >"$2.server" 2>&1 &
  SMTP_SERVER_PID=$!
  [[ -n $(trap -p EXIT) ]] || trap smtp_stop EXIT
  _smtp_wait_listening "$2.server"
}

smtp_mail_count() {
  local files=("$1"/mail-*.data)
  [[ -e ${files[0]} ]] && echo "${#files[@]}" || echo 0
}

smtp_wait_mails() {
  local want=$2 limit=$((${3:-10} * 50)) tries=0
  while (($(smtp_mail_count "$1") < want)); do
    tries=$((tries + 1))
    if ((tries > limit)); then
      echo "smtp_server.sh: $1 has $(smtp_mail_count "$1") mails, expected $want" >&2
      return 1
    fi
    sleep 0.02
  done
}
