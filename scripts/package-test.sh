#!/usr/bin/env bash
# Builds the Debian packages from the build in build/ (as test-all.sh leaves it), checks
# them with lintian, installs them with dpkg, starts each program, and removes them again.
# Installing needs root (or sudo); CI runs it on a throwaway machine.
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

rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$PWD/packages" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls -l "$out"/*.deb
mapfile -t debs < <(ls "$out"/*.deb)
[ "${#debs[@]}" -ge 4 ] || { echo "expected the packages, found ${#debs[@]}"; exit 1; }

echo "-- lintian (errors fail, warnings are listed)"
lintian --fail-on error --tag-display-limit 0 "${debs[@]}"

names=()
for deb in "${debs[@]}"; do names+=("$(dpkg-deb -f "$deb" Package)"); done
remove() { as_root dpkg --purge "${names[@]}" >/dev/null; }
trap remove EXIT

echo "-- dpkg -i"
as_root dpkg -i "${debs[@]}" >/dev/null
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
  [ "$rc" -eq 124 ] || { echo "quorvelide ended with $rc"; exit 1; }
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

trap - EXIT
remove
! dpkg -s "${names[@]}" >/dev/null 2>&1 || { echo "packages still installed"; exit 1; }
echo "packages built, checked, installed, started and removed"
