#!/usr/bin/env bash
# Builds the Debian packages from the build in build/ (as test-all.sh leaves it) and checks
# them as a Debian maintainer would: lintian finds no error and no warning; the library
# packages are Multi-Arch, without ldconfig scripts; the Qt-free packages alone, unpacked
# into a folder, give a CMake and a pkg-config consumer of webproc; the installed headers
# compile alone; every binary is hardened and has no RUNPATH; the libraries export their
# interface alone, versioned. Then it installs all packages with dpkg, starts each
# program, and removes them again. Installing needs root (or sudo); CI runs it on a
# throwaway machine.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
out=$build/packages
export QT_QPA_PLATFORM=offscreen

if [ ! -f "$build/CPackConfig.cmake" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "${JOBS:-$(nproc)}" >/dev/null

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
fail() { echo "FAILED: $*"; exit 1; }

rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$PWD/packages" >"$PWD/cpack.log" 2>&1) || { cat "$build/cpack.log"; exit 1; }
rm -rf "$out/_CPack_Packages"
mapfile -t debs < <(ls "$out"/*.deb)
declare -A deb_of
names=()
for deb in "${debs[@]}"; do
  name=$(dpkg-deb -f "$deb" Package)
  names+=("$name")
  deb_of[$name]=$deb
done

qtfree=(libvessel2 libroster2 liblogbook2 libwebproc2 libquorvel-dev)
expected=("${qtfree[@]}" quorvel-cli quorvel-devserver)
if grep -q '^QV_BUILD_GUI:BOOL=ON' "$build/CMakeCache.txt"; then
  expected+=(libqv-gui2 liblister2 libquorvel-gui-dev quorvel-studio)
fi
[ "$(printf '%s\n' "${names[@]}" | sort)" = "$(printf '%s\n' "${expected[@]}" | sort)" ] ||
  fail "packages ${names[*]}, expected ${expected[*]}"

echo "-- the packages"
for name in "${names[@]}"; do
  deb=${deb_of[$name]}
  depends=$(dpkg-deb -f "$deb" Depends)
  printf '%-20s %s\n' "$name" "$depends"
  case $name in
    lib*)
      [ "$(dpkg-deb -f "$deb" Multi-Arch)" = same ] || fail "$name is not Multi-Arch: same"
      dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -qE 'post(inst|rm)$' &&
        fail "$name has maintainer scripts"
      ;;
  esac
  # Our libraries are needed at least in this version, never pinned, except by the
  # development packages, whose .so links point into the library packages.
  if [[ $name != *-dev ]] && grep -qE '(^|, )lib(vessel|roster|logbook|webproc|lister|qv-gui)2 \(=' <<<"$depends"; then
    fail "$name pins a library's exact version"
  fi
done
# What the Qt-free packages depend on is Qt-free too.
for name in "${qtfree[@]}"; do
  if dpkg-deb -f "${deb_of[$name]}" Depends | grep -qiE 'qt6|qscintilla|qv-gui|lister'; then
    fail "$name depends on the windowing layer"
  fi
done

echo "-- lintian (an error or a warning fails; info and pedantic tags are listed)"
lintian --fail-on error,warning --display-info --pedantic --tag-display-limit 0 "${debs[@]}"

work=$(mktemp -d)
remove=()
cleanup() {
  rm -rf "$work"
  if [ "${#remove[@]}" -gt 0 ]; then as_root dpkg --purge "${remove[@]}" >/dev/null; fi
}
trap cleanup EXIT

echo "-- the Qt-free packages alone, unpacked into a folder"
root=$work/qtfree
for name in "${qtfree[@]}"; do dpkg-deb -x "${deb_of[$name]}" "$root"; done
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[ -e "$root/usr/lib/$multiarch/libwebproc.so.2" ] || fail "libwebproc is not in /usr/lib/$multiarch"
bash packaging/tests/consumer-test.sh --prefix "$root/usr" packaging/tests/consumer

echo "-- the installed headers, each compiled alone"
all=$work/all
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$all"; done
include=$all/usr/include/quorvel
headers=$(cd "$include" && find . -name '*.h' | sed 's|^\./||' | sort | tr '\n' ' ')
want="common/Export.h common/FixedText.h common/Lists.h common/Version.h logbook/WStrace.h roster/Roster.h vessel/Vessel.h webproc/HttpProcessor.h webproc/TableResult.h"
grep -q '^QV_BUILD_GUI:BOOL=ON' "$build/CMakeCache.txt" &&
  want="common/Export.h common/FixedText.h common/Lists.h common/Version.h lister/WBrowse.h logbook/WStrace.h platform/gui/Gui.h platform/gui/Templates.h roster/Roster.h vessel/Vessel.h webproc/HttpProcessor.h webproc/TableResult.h"
[ "$headers" = "$want " ] || fail "installed headers: $headers; expected: $want"
for header in $headers; do
  std=c++17
  case $header in lister/* | platform/gui/*) std=c++20 ;; esac
  echo "#include \"$header\"" | c++ -std=$std -Wall -Wextra -Werror -pedantic -fsyntax-only \
    -I"$include" -x c++ - || fail "$header does not compile alone"
done

echo "-- hardening, RUNPATH and exported symbols of every binary"
mapfile -t elves < <(find "$all/usr/bin" "$all/usr/lib/$multiarch" -type f \( -perm -u+x -o -name '*.so.*' \) | sort)
for elf in "${elves[@]}"; do
  readelf -d "$elf" | grep -qE 'R(UN)?PATH' && fail "${elf#"$all"} has a RUNPATH"
done
# The hardening dpkg-buildflags gives on Debian 12 (control flow protection is not part
# of it). In the libraries, _FORTIFY_SOURCE has nothing to check where every copy's size
# is known only at run time (libvessel, libroster), which hardening-check reports as
# unprotected: fortification is checked in the programs.
programs=() libraries=()
for elf in "${elves[@]}"; do
  case $elf in *.so.*) libraries+=("$elf") ;; *) programs+=("$elf") ;; esac
done
hardening-check --quiet --nocfprotection "${programs[@]}" ||
  fail "hardening-check (programs)"
hardening-check --quiet --nocfprotection --nofortify "${libraries[@]}" ||
  fail "hardening-check (libraries)"
for lib in "$all/usr/lib/$multiarch"/lib*.so.2; do
  # Every exported symbol carries the library's version node; none is the test driver's.
  stray=$(nm -D --defined-only --with-symbol-versions "$lib" | grep -v -e '@@LIB[A-Z_]*_2$' -e ' A ' || true)
  [ -z "$stray" ] || fail "$(basename "$lib") exports unversioned symbols: $stray"
  nm -DC --defined-only "$lib" | grep -q 'gui::test::' && fail "$(basename "$lib") exports the test driver"
  printf '%-18s %4d symbols\n' "$(basename "$lib")" "$(nm -D --defined-only "$lib" | grep -vc ' A ')"
done

echo "-- dpkg -i"
as_root dpkg -i "${debs[@]}" >/dev/null
remove=("${names[@]}")
for program in quorvel-cli quorvel-devserver quorvelide; do
  [ -x "/usr/bin/$program" ] || continue
  "/usr/bin/$program" --version
  "/usr/bin/$program" --help >/dev/null
done
# The studio comes up with its windows (offscreen) and keeps running until stopped.
if [ -x /usr/bin/quorvelide ]; then
  rc=0 start=$(mktemp -d)
  (cd "$start" && timeout 3 /usr/bin/quorvelide) || rc=$?
  rm -rf "$start"
  [ "$rc" -eq 124 ] || fail "quorvelide ended with $rc"
fi
# The service's user exists and can run the server on a state folder of its own, as the
# unit does; the service is not enabled.
getent passwd quorvel-devserver >/dev/null
[ ! -e /etc/systemd/system/multi-user.target.wants/quorvel-devserver.service ]
state=$(mktemp -d)
as_root chown quorvel-devserver: "$state"
# The server writes its own pid, so that exactly it is stopped afterwards.
as_root runuser -u quorvel-devserver -- sh -c 'echo $$ >"$1/pid"; exec "$2" --root "$1" --port 0 --fast-hash' \
  sh "$state" /usr/bin/quorvel-devserver >/dev/null 2>"$state.log" &
for _ in $(seq 50); do grep -q 'listening on' "$state.log" && break; sleep 0.1; done
[ -s "$state/pid" ] && as_root kill "$(cat "$state/pid")"
wait
grep -q 'listening on' "$state.log" || { echo "the devserver did not start as its user:"; cat "$state.log"; exit 1; }
as_root rm -rf "$state" "$state.log"
pkg-config --modversion quorvel-webproc
# The symbols files serve dpkg-shlibdeps: a program built against the installed libraries
# needs them in this version or later.
mkdir -p "$work/shlibdeps/debian"
printf 'Source: x\n\nPackage: x\nArchitecture: any\n' >"$work/shlibdeps/debian/control"
deps=$(cd "$work/shlibdeps" && dpkg-shlibdeps -O /usr/bin/quorvel-cli 2>&1)
grep -q "libwebproc2 (>= 2.1.0)" <<<"$deps" || fail "dpkg-shlibdeps gave: $deps"
echo "dpkg-shlibdeps for quorvel-cli: ${deps#shlibs:Depends=}"

as_root dpkg --purge "${names[@]}" >/dev/null
remove=()
! dpkg -s "${names[@]}" >/dev/null 2>&1 || fail "packages still installed"
echo "packages built, checked, unpacked, installed, started and removed"
