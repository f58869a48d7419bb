#!/usr/bin/env bash
# consumer-test.sh BUILD_DIR CONSUMER_SOURCE: installs the Qt-free libraries of BUILD_DIR
# and their development files to a fresh prefix, then builds and runs the consumer project
# against that prefix twice: through find_package(Quorvel COMPONENTS webproc) and through
# pkg-config. consumer-test.sh --prefix DIR CONSUMER_SOURCE does the same against what is
# installed under DIR already (the packages' files).
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "$1" = "--prefix" ]; then
  prefix=$2 source=$3
else
  build=$1 source=$2 prefix=$work/prefix
  for component in vessel roster logbook webproc dev; do
    cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
  done
fi
mkdir -p "$work/root/shop"
printf '<p>#FIELD(0,0,0): #FIELD(0,0,1)</p>' >"$work/root/shop/GetApps.html"

run() {  # the consumer's response must carry the rendered row
  "$@" "$work/root" >"$work/out" || { echo "consumer failed:"; cat "$work/out"; exit 1; }
}
# The libraries carry no RUNPATH, so outside the system's folder the loader is told where
# they are (the consumer's own RUNPATH does not reach libwebproc's needs).
libdir=$(dirname "$(find "$prefix" -name libwebproc.so)")
export LD_LIBRARY_PATH=$libdir

echo "-- through CMake"
cmake -S "$source" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="${CXX:-c++}" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
run "$work/cmake-build/consumer"

echo "-- through pkg-config"
pcdir=$(PKG_CONFIG_PATH= PKG_CONFIG_LIBDIR=$(dirname "$(find "$prefix" -name quorvel-webproc.pc)") \
  pkg-config --variable=libdir quorvel-webproc)
[ "$(readlink -f "$pcdir")" = "$(readlink -f "$libdir")" ] || { echo "pkg-config's libdir is $pcdir"; exit 1; }
flags=$(PKG_CONFIG_LIBDIR=$libdir/pkgconfig pkg-config --cflags --libs quorvel-webproc)
# shellcheck disable=SC2086  # the flags are words
"${CXX:-c++}" -o "$work/consumer-pc" "$source/main.cpp" $flags
run "$work/consumer-pc"

echo "-- a component that is not there"
mkdir -p "$work/missing"
cat >"$work/missing/CMakeLists.txt" <<'END'
cmake_minimum_required(VERSION 3.25)
project(Missing NONE)
find_package(Quorvel 2 CONFIG COMPONENTS webproc lister)
if(Quorvel_FOUND OR NOT Quorvel_webproc_FOUND)
  message(FATAL_ERROR "lister was not installed, webproc was")
endif()
END
out=$(cmake -S "$work/missing" -B "$work/missing-build" -DQuorvel_DIR="$libdir/cmake/Quorvel" 2>&1) ||
  { echo "$out"; exit 1; }
# CMake wraps the message's lines.
tr -s ' \n' '  ' <<<"$out" | grep -q "lister (not installed: package libquorvel-gui-dev)" ||
  { echo "$out"; exit 1; }
echo "consumer built and ran both ways; a missing component is named"
