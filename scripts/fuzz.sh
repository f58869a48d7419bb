#!/usr/bin/env bash
# scripts/fuzz.sh replay         run every fuzz target once over its seed corpus
# scripts/fuzz.sh run SECONDS    fuzz every target for SECONDS each, growing a scratch corpus
# The targets come from build-fuzz (see scripts/test-all.sh for how it is configured).
# Paths are absolute, since a target may change the current folder while it runs. The
# script says which targets ran and fails when one did not run to its end.
set -uo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
mode=${1:-replay}
secs=${2:-60}
case "$mode" in
  replay | run) ;;
  *) echo "usage: $0 replay | run SECONDS" >&2; exit 2 ;;
esac
shopt -s nullglob
ran=() failed=()
for bin in "$top"/build-fuzz/fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  corpus=$top/fuzz/corpus/$name
  mkdir -p "$corpus"
  if [ "$mode" = replay ]; then
    "$bin" -runs=0 "$corpus" >"$top/build-fuzz/$name.log" 2>&1
    rc=$?
    tail -n 1 "$top/build-fuzz/$name.log"
  else
    scratch=$top/build-fuzz/corpus/$name
    mkdir -p "$scratch"
    "$bin" -max_total_time="$secs" -print_final_stats=1 "$scratch" "$corpus" \
      >"$top/build-fuzz/$name.log" 2>&1
    rc=$?
    tail -n 12 "$top/build-fuzz/$name.log"
  fi
  if [ "$rc" -eq 0 ]; then ran+=("$name"); else failed+=("$name (exit $rc)"); fi
done
echo "fuzz targets that ran: ${ran[*]:-none}"
# Every target has a seed corpus: one whose program is missing did not run either.
for dir in "$top"/fuzz/corpus/*/; do
  name=$(basename "$dir")
  [ -x "$top/build-fuzz/fuzz/$name" ] || failed+=("$name (not built)")
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]}" >&2
  exit 1
fi
if [ ${#ran[@]} -eq 0 ]; then
  echo "no fuzz target found in build-fuzz/fuzz" >&2
  exit 1
fi
