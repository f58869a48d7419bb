#!/usr/bin/env bash
# scripts/fuzz.sh replay         run every fuzz target once over its seed corpus
# scripts/fuzz.sh run SECONDS    fuzz every target for SECONDS each, growing a scratch corpus
# The targets come from build-fuzz (see scripts/test-all.sh for how it is configured).
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-replay}
secs=${2:-60}
shopt -s nullglob
for bin in build-fuzz/fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  corpus=fuzz/corpus/$name
  mkdir -p "$corpus"
  case "$mode" in
    replay) "$bin" -runs=0 "$corpus" 2>&1 | tail -n 1 ;;
    run)
      scratch=build-fuzz/corpus/$name
      mkdir -p "$scratch"
      "$bin" -max_total_time="$secs" -print_final_stats=1 "$scratch" "$corpus" 2>&1 | tail -n 12 ;;
    *) echo "usage: $0 replay | run SECONDS" >&2; exit 2 ;;
  esac
done
