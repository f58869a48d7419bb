#!/usr/bin/env bash
# Screenshots of the studio under a virtual X server, at normal size and with
# QT_SCALE_FACTOR=2, into docs/screenshots/: from quorvelide-tour the frame before
# connecting, the connect dialog, the connected frame and the About box; from
# quorvel-windows-tour (against the demo data) the object windows and their dialogs; from
# quorvel-monitor-tour the monitor after a few automatic refreshes and a trace, with the
# sessions of three headless Chromium visits to the demo shop, and the shop's Customers
# page as Chromium shows it. Needs xvfb-run, ImageMagick and chromium.
#   bash scripts/screenshots.sh      (QV_BUILD_DIR, QV_NO_BUILD as run-studio.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${QV_BUILD_DIR:-build}
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
OUT=$ROOT/docs/screenshots
mkdir -p "$OUT"
SHELL_TOUR=$BUILD/studio/shell/quorvelide-tour
WINDOWS_TOUR=$BUILD/studio/windows/quorvel-windows-tour
MONITOR_TOUR=$BUILD/studio/windows/quorvel-monitor-tour

shoot() {  # scale, width, height, suffix, tour (shell, windows or monitor)
  local scale=$1 w=$2 h=$3 suffix=$4 tour=$5 tmp cmd shots before=
  tmp=$(mktemp -d)
  # The tours log in to run-studio.sh's demo server with its port and password.
  if [ "$tour" = shell ]; then
    cmd="'$SHELL_TOUR' shots '$tmp' \"\$QV_DEMO_PASSWORD\" $scale"
    shots="frame connect-ssh connect connected about"
  elif [ "$tour" = monitor ]; then
    # Three browsers visit the demo shop first, so that the monitor shows their sessions;
    # the last one's Customers page is a screenshot of its own.
    local shop="http://127.0.0.1:\$QV_DEMO_PORT/demo"
    local browser="chromium --headless --no-sandbox --disable-gpu --hide-scrollbars"
    before="for i in 1 2 3; do $browser --user-data-dir='$tmp/browser\$i' --dump-dom \"$shop/index.html\" >/dev/null 2>&1; done
      $browser --user-data-dir='$tmp/browser3' --window-size=640,400 --screenshot='$tmp/shop-customers.png' \"$shop/ListCustomers()\" >/dev/null 2>&1"
    cmd="'$MONITOR_TOUR' '$tmp' \"\$QV_DEMO_PORT\" \"\$QV_DEMO_PASSWORD\""
    shots="monitor trace shop-customers"
  else
    cmd="'$WINDOWS_TOUR' '$tmp' \"\$QV_DEMO_PORT\" \"\$QV_DEMO_PASSWORD\" $scale"
    shots="applications app-dialog progress requests request-editor script-editor find-in-scripts find-script-at-line files images data-sources ds-dialog users user-dialog"
  fi
  QV_BUILD_DIR=$BUILD xvfb-run -a -s '-screen 0 1280x800x24' bash scripts/run-studio.sh bash -c "
    printf 'UpDownDir=\r\nx=0\r\ny=0\r\nw=$w\r\nh=$h\r\n' > quorvelide.cfg
    $before
    QT_SCALE_FACTOR=$scale $cmd" >/dev/null
  for f in $shots; do
    convert "$tmp/$f.png" -strip "$OUT/$f$suffix.png"
  done
  rm -rf "$tmp"
}
shoot 1 820 520 "" shell
QV_NO_BUILD=1 shoot 2 620 390 "-x2" shell
QV_NO_BUILD=1 shoot 1 1000 640 "" windows
QV_NO_BUILD=1 shoot 2 620 390 "-x2" windows
QV_NO_BUILD=1 shoot 1 1280 800 "" monitor
ls -l "$OUT"
