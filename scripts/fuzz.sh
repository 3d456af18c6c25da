#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build-fuzz/corpus
for target in build-fuzz/bin/*_fuzz; do
  name=$(basename "$target")
  mkdir -p "build-fuzz/corpus/$name"
  # New inputs go to the first corpus directory; fuzz/seeds/NAME (checked in) starts a fresh
  # corpus with inputs of the right shape, and fuzz/NAME.dict gives the format's keywords.
  flags=() seeds=()
  [[ -f fuzz/$name.dict ]] && flags+=(-dict="fuzz/$name.dict")
  [[ -d fuzz/seeds/$name ]] && seeds+=("fuzz/seeds/$name")
  echo "fuzzing $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -print_final_stats=0 "${flags[@]}" \
    "build-fuzz/corpus/$name" "${seeds[@]}" >"build-fuzz/$name.log" 2>&1; then
    tail -40 "build-fuzz/$name.log" >&2
    echo "fuzz target $name failed" >&2
    exit 1
  fi
  grep -E "^Done" "build-fuzz/$name.log" || true
done
