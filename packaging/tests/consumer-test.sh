#!/usr/bin/env bash
# consumer-test.sh BUILD_DIR CONSUMER_SOURCE: installs the libraries of BUILD_DIR to a
# fresh prefix, then builds and runs the consumer project against that prefix twice:
# through find_package(Quorvel) and through pkg-config.
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

for component in libs guilibs dev; do
  cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done
mkdir -p "$work/root/shop"
printf '<p>#FIELD(0,0,0): #FIELD(0,0,1)</p>' >"$work/root/shop/GetApps.html"

run() {  # the consumer's response must carry the rendered row
  "$@" "$work/root" >"$work/out" || { echo "consumer failed:"; cat "$work/out"; exit 1; }
}

echo "-- through CMake"
cmake -S "$source" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="${CXX:-c++}" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
run "$work/cmake-build/consumer"

echo "-- through pkg-config"
libdir=$(PKG_CONFIG_PATH= PKG_CONFIG_LIBDIR=$(dirname "$(find "$prefix" -name quorvel-webproc.pc)") \
  pkg-config --variable=libdir quorvel-webproc)
flags=$(PKG_CONFIG_LIBDIR=$libdir/pkgconfig pkg-config --cflags --libs quorvel-webproc)
# shellcheck disable=SC2086  # the flags are words
"${CXX:-c++}" -o "$work/consumer-pc" "$source/main.cpp" $flags
LD_LIBRARY_PATH=$libdir run "$work/consumer-pc"
echo "consumer built and ran both ways"
