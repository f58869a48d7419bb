#!/usr/bin/env bash
# The studio as a screen reader sees it: a virtual display, a D-Bus session of its own,
# the devserver with the demo data, and a client of the accessibility bus walking the
# studio's tree and pressing keys.  Usage: atspi-test.sh BUILD_DIR
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../../.." && pwd)
BUILD=$(cd "${1:?build folder}" && pwd)
for tool in xvfb-run dbus-run-session /usr/bin/python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "atspi-test: $tool is not installed (scripts/install-deps.sh)" >&2
    exit 1
  fi
done
unset QT_QPA_PLATFORM
QV_NO_BUILD=1 QV_BUILD_DIR=$BUILD exec xvfb-run -a -s '-screen 0 1280x800x24' \
  dbus-run-session -- bash "$ROOT/scripts/run-studio.sh" bash "$HERE/atspi-session.sh"
