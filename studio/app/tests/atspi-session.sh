#!/usr/bin/env bash
# Inside a D-Bus session on a virtual display, in the workspace run-studio.sh made: the
# accessibility bus, the studio with Qt's bridge on, and the walk of its accessible tree.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
LAUNCHER=
for l in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
  [ -x "$l" ] && LAUNCHER=$l && break
done
if [ -z "$LAUNCHER" ]; then
  echo "atspi-test: at-spi-bus-launcher is not installed (scripts/install-deps.sh)" >&2
  exit 1
fi
"$LAUNCHER" --launch-immediately &
BUS_PID=$!
STUDIO_PID=
cleanup() {
  [ -n "$STUDIO_PID" ] && kill "$STUDIO_PID" 2>/dev/null || true
  kill "$BUS_PID" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 \
  ${QV_STUDIO_WRAP:-} "$QV_BUILD_DIR/studio/app/quorvelide" >studio.log 2>&1 &
STUDIO_PID=$!
status=0
timeout 240 /usr/bin/python3 "$HERE/atspi_walk.py" --password "$QV_DEMO_PASSWORD" || status=$?
if [ "$status" != 0 ]; then
  echo "--- studio output" >&2
  cat studio.log >&2 || true
fi
exit "$status"
