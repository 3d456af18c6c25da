#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build-fuzz/corpus
for target in build-fuzz/fuzz/*_fuzz; do
  name=$(basename "$target")
  mkdir -p "build-fuzz/corpus/$name"
  echo "fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=0 "build-fuzz/corpus/$name" 2>&1 |
    grep -E "^(Done|==|SUMMARY|ERROR)|crash|deadly" || true
  if [ "${PIPESTATUS[0]}" -ne 0 ]; then
    echo "fuzz target $name failed" >&2
    exit 1
  fi
done
