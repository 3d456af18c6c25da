# Failure counting shared by the integration scripts: `fail MESSAGE` reports one failed check
# and the script goes on; at its end it exits non-zero when $failures is above 0.
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
