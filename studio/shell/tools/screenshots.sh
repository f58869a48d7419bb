#!/usr/bin/env bash
# Screenshots of the studio under a virtual X server: the frame before connecting, the
# connect dialog, the connected frame and the About box, at normal size and with
# QT_SCALE_FACTOR=2, into docs/screenshots/. Needs xvfb-run and ImageMagick's import.
#   bash studio/shell/tools/screenshots.sh      (QV_BUILD_DIR, QV_NO_BUILD as run-studio.sh)
set -euo pipefail
cd "$(dirname "$0")/../../.."
ROOT=$PWD
BUILD=${QV_BUILD_DIR:-build}
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
OUT=$ROOT/docs/screenshots
mkdir -p "$OUT"
TOUR=$BUILD/studio/shell/quorvelide-tour

shoot() {  # scale, width, height, suffix
  local scale=$1 w=$2 h=$3 suffix=$4 tmp
  tmp=$(mktemp -d)
  QV_BUILD_DIR=$BUILD xvfb-run -a -s '-screen 0 1280x800x24' bash scripts/run-studio.sh bash -c "
    printf 'UpDownDir=\r\nx=0\r\ny=0\r\nw=$w\r\nh=$h\r\n' > quorvelide.cfg
    QT_SCALE_FACTOR=$scale '$TOUR' shots '$tmp' \"\$QV_DEMO_PASSWORD\" $scale" >/dev/null
  for f in frame connect connected about; do
    convert "$tmp/$f.png" -strip "$OUT/$f$suffix.png"
  done
  rm -rf "$tmp"
}
shoot 1 820 520 ""
QV_NO_BUILD=1 shoot 2 620 390 "-x2"
ls -l "$OUT"
