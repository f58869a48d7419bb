#!/usr/bin/env bash
# abi.sh update|check [BUILD_DIR]: the ABI of the installed libraries against its
# description in packaging/abi/ (abidw's XML, one file per library, of the last release).
#   update  writes the descriptions anew from the libraries in BUILD_DIR (default build),
#           built with debug information (RelWithDebInfo, the default build type);
#   check   compares the libraries in BUILD_DIR with them (abidiff) and fails on a change
#           to what programs built against the description use (a removed symbol, a type
#           whose size or layout changed, ...), unless the soname changed. Added symbols
#           are compatible.
# Everything reachable from the exported symbols counts, private members' types too: they
# make the size of a class the caller allocates.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-}
build=${2:-build}
abi=packaging/abi
# The libraries as they are installed (libqv_gui: the release link).
libs=(vessel/libvessel.so roster/libroster.so logbook/liblogbook.so webproc/libwebproc.so)
[ -e "$build/platform/gui/release/libqv_gui.so" ] &&
  libs+=(platform/gui/release/libqv_gui.so lister/liblister.so)

report=$(mktemp)
trap 'rm -f "$report"' EXIT

soname() { readelf -d "$1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p'; }

case $mode in
update)
  rm -f "$abi"/*.abi
  for lib in "${libs[@]}"; do
    file=$(readlink -f "$build/$lib")
    abidw --no-corpus-path --no-comp-dir-path --no-show-locs \
      --out-file "$abi/$(soname "$file").abi" "$file"
  done
  ls -l "$abi"
  ;;
check)
  failed=0
  for lib in "${libs[@]}"; do
    file=$(readlink -f "$build/$lib")
    name=$(soname "$file")
    base=$abi/${name%.so.*}.so.*.abi
    # shellcheck disable=SC2086  # the pattern names the library's one description
    base=$(ls $base 2>/dev/null | head -1 || true)
    if [ -z "$base" ]; then
      echo "$name: no ABI description in $abi (scripts/abi.sh update)"; failed=1; continue
    fi
    rc=0
    # abidiff's result: bit 1 error, 2 usage, 4 the ABI changed, 8 incompatibly.
    abidiff --no-added-syms "$base" "$file" >"$report" 2>&1 || rc=$?
    if (( rc & 3 )); then
      echo "$name: abidiff failed:"; cat "$report"; failed=1
    elif (( rc & 12 )) && [ "$(basename "$base" .abi)" = "$name" ]; then
      echo "$name: changed against $base without a new soname:"; cat "$report"; failed=1
    elif (( rc & 12 )); then
      echo "$name: changed, with a new soname"
    else
      echo "$name: compatible with $base"
    fi
  done
  exit $failed
  ;;
*)
  echo "usage: $0 update|check [BUILD_DIR]" >&2; exit 2 ;;
esac
