#!/usr/bin/env bash
# Screenshots of the monitor after a few automatic refreshes and of a trace, under a
# virtual X server, into docs/screenshots/. Needs xvfb-run and ImageMagick.
#   bash studio/windows/tools/monitor-screenshots.sh   (QV_BUILD_DIR, QV_NO_BUILD as run-studio.sh)
set -euo pipefail
cd "$(dirname "$0")/../../.."
ROOT=$PWD
BUILD=${QV_BUILD_DIR:-build}
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
OUT=$ROOT/docs/screenshots
mkdir -p "$OUT"
TOUR=$BUILD/studio/windows/quorvel-monitor-tour
tmp=$(mktemp -d)
QV_BUILD_DIR=$BUILD xvfb-run -a -s '-screen 0 1280x800x24' bash scripts/run-studio.sh bash -c "
  printf 'UpDownDir=\r\nx=0\r\ny=0\r\nw=1280\r\nh=800\r\n' > quorvelide.cfg
  '$TOUR' '$tmp' \"\$QV_DEMO_PORT\" \"\$QV_DEMO_PASSWORD\"" >/dev/null
for f in monitor trace; do
  convert "$tmp/$f.png" -strip "$OUT/$f.png"
done
rm -rf "$tmp"
ls -l "$OUT/monitor.png" "$OUT/trace.png"
