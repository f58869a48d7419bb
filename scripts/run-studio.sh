#!/usr/bin/env bash
# Builds everything, then starts quorvel-devserver with demo data on a free port in a
# fresh temporary workspace that holds a quorvelide.cfg and one connection profile for
# that server, and starts the studio there. The devserver stops when the studio exits.
#
#   bash scripts/run-studio.sh                 the studio
#   bash scripts/run-studio.sh COMMAND [ARG]   COMMAND instead, run in the workspace with
#                                              QV_DEMO_PORT, QV_DEMO_PASSWORD and QV_BUILD_DIR set
# Environment: QV_BUILD_DIR (default build), QV_NO_BUILD=1 to use the build as it is,
# QV_KEEP_WORKSPACE=1 to keep the workspace afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${QV_BUILD_DIR:-build}
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac

if [ "${QV_NO_BUILD:-0}" != 1 ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD" -j "$(nproc)"
fi
STUDIO=$BUILD/studio/app/quorvelide
SERVER=$BUILD/devserver/quorvel-devserver
for f in "$STUDIO" "$SERVER"; do
  if [ ! -x "$f" ]; then
    echo "run-studio: $f was not built (is Qt 6 installed? see scripts/install-deps.sh)" >&2
    exit 1
  fi
done

if [ $# -eq 0 ] && [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] &&
   [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
  cat >&2 <<'TEXT'
run-studio: there is no display to show the studio on. On a machine without one, run it
under a virtual X server and look at it with a VNC viewer or take screenshots:
  xvfb-run -a -s '-screen 0 1280x800x24' bash scripts/run-studio.sh
TEXT
  exit 1
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-studio.XXXXXX")
SERVER_PID=
cleanup() {
  if [ -n "$SERVER_PID" ] && kill -0 "$SERVER_PID" 2>/dev/null; then
    kill "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
  fi
  if [ "${QV_KEEP_WORKSPACE:-0}" = 1 ]; then
    echo "run-studio: the workspace stays in $WORK"
  else
    rm -rf "$WORK"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$WORK/server" "$WORK/transfer"
PASSWORD=$(LC_ALL=C tr -dc 'A-Za-z0-9' </dev/urandom | head -c 12 || true)
( umask 077; printf '%s\n' "$PASSWORD" >"$WORK/server/admin-password" )

"$SERVER" --root "$WORK/server/data" --port 0 --admin-password-file "$WORK/server/admin-password" \
  --seed-demo 2>"$WORK/server/devserver.log" &
SERVER_PID=$!
PORT=
for _ in $(seq 1 100); do
  PORT=$(sed -n 's/.*listening on .* port \([0-9][0-9]*\).*/\1/p' "$WORK/server/devserver.log" | head -n 1)
  [ -n "$PORT" ] && break
  if ! kill -0 "$SERVER_PID" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$PORT" ]; then
  echo "run-studio: quorvel-devserver did not start:" >&2
  cat "$WORK/server/devserver.log" >&2
  exit 1
fi

# The studio needs its configuration file; the profile shows as a toolbar button.
printf 'UpDownDir=%s\r\nx=40\r\ny=30\r\nw=1000\r\nh=680\r\n' "$WORK/transfer" >"$WORK/quorvelide.cfg"
printf 'Name=Demo server\r\nIP1=127\r\nIP2=0\r\nIP3=0\r\nIP4=1\r\nPort=%s\r\nUserName=admin\r\nUserPwd=\r\n' \
  "$PORT" >"$WORK/demo.con"

cat <<TEXT
quorvel-devserver is running on 127.0.0.1 port $PORT with the demo application.
In the studio, click "Demo server" on the toolbar and log in as admin with the password
    $PASSWORD
The demo shop, in a browser (its Run user is shopper, password shopper):
    http://127.0.0.1:$PORT/demo/index.html
TEXT

cd "$WORK"
if [ $# -gt 0 ]; then
  QV_DEMO_PORT=$PORT QV_DEMO_PASSWORD=$PASSWORD QV_BUILD_DIR=$BUILD "$@"
else
  "$STUDIO"
fi
