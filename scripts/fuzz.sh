#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, AddressSanitizer) and
# runs each for a bounded time, starting from the corpus kept in fuzz/corpus.
# New inputs found on the way go to build/fuzz/new-corpus/<target> (not into
# the repository); a failing input is kept in build/fuzz/artifacts and fails
# the run.
#   scripts/fuzz.sh [seconds]      default 60 (or $QUORVEL_FUZZ_SECONDS)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-${QUORVEL_FUZZ_SECONDS:-60}}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

status=0
for target in command_line_fuzz; do
  new="build/fuzz/new-corpus/$target"
  artifacts="build/fuzz/artifacts/$target/"
  mkdir -p "$new" "$artifacts"
  echo "== Fuzzing $target for ${seconds}s (corpus: fuzz/corpus, $(ls fuzz/corpus | wc -l) inputs)"
  if ! "build/fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=1024 -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$artifacts" "$new" fuzz/corpus \
      >"build/fuzz/$target.log" 2>&1; then
    status=1
    tail -n 40 "build/fuzz/$target.log"
    echo "FAILED: $target (inputs in $artifacts)"
  else
    grep -E "^stat::number_of_executed_units|^Done" "build/fuzz/$target.log" || true
    echo "passed: $target, $(ls "$new" | wc -l) new inputs in $new"
  fi
done
exit $status
