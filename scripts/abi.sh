#!/usr/bin/env bash
# abi.sh update|check [BUILD_DIR]: the ABI of the installed libraries against its
# description in packaging/abi/ (abidw's XML, one file per library, of the last release).
#   update  writes the descriptions anew from the libraries in BUILD_DIR (default build),
#           built with debug information (RelWithDebInfo, the default build type);
#   check   compares the libraries in BUILD_DIR with them (abidiff) and fails on a change
#           that breaks programs built against the description, unless the soname changed.
# Only types declared in the installed headers count.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-}
build=${2:-build}
abi=packaging/abi
# The libraries as they are installed (libqv_gui: the release link).
libs=(vessel/libvessel.so roster/libroster.so logbook/liblogbook.so webproc/libwebproc.so)
[ -e "$build/platform/gui/release/libqv_gui.so" ] &&
  libs+=(platform/gui/release/libqv_gui.so lister/liblister.so)

headers=$(mktemp -d)
trap 'rm -rf "$headers"' EXIT
for component in dev guidev; do
  cmake --install "$build" --prefix "$headers" --component "$component" >/dev/null
done
headers=$headers/include

soname() { readelf -d "$1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p'; }

case $mode in
update)
  rm -f "$abi"/*.abi
  for lib in "${libs[@]}"; do
    file=$(readlink -f "$build/$lib")
    abidw --no-corpus-path --no-comp-dir-path --no-show-locs --drop-private-types \
      --headers-dir "$headers" --out-file "$abi/$(soname "$file").abi" "$file"
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
    abidiff --drop-private-types --headers-dir2 "$headers" "$base" "$file" >"$headers.diff" 2>&1 || rc=$?
    if (( rc & 3 )); then
      echo "$name: abidiff failed:"; cat "$headers.diff"; failed=1
    elif (( rc & 8 )) && [ "$(basename "$base" .abi)" = "$name" ]; then
      echo "$name: incompatible with $base without a new soname:"; cat "$headers.diff"; failed=1
    elif (( rc & 12 )); then
      echo "$name: changed compatibly (or with a new soname):"; head -20 "$headers.diff"
    else
      echo "$name: unchanged"
    fi
    rm -f "$headers.diff"
  done
  exit $failed
  ;;
*)
  echo "usage: $0 update|check [BUILD_DIR]" >&2; exit 2 ;;
esac
