#!/usr/bin/env bash
# man-options.sh PROGRAM MANPAGE: the long options PROGRAM --help prints and those the
# OPTIONS section of its man page documents must be the same set.
set -euo pipefail
program=$1 page=$2

help=$("$program" --help) || { echo "$program --help failed"; exit 1; }
from_help=$(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u)
from_page=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | sed 's/\\-/-/g' |
  grep -oE -- '--[a-z][a-z0-9-]*' | sort -u)

if [ -z "$from_help" ]; then
  echo "$program --help names no option"
  exit 1
fi
if [ "$from_help" != "$from_page" ]; then
  echo "options of $(basename "$program") --help (<) and of $(basename "$page") (>) differ:"
  diff <(echo "$from_help") <(echo "$from_page") || true
  exit 1
fi
version=$("$program" --version)
case $version in
  "$(basename "$program") "[0-9]*) ;;
  *) echo "$program --version printed \"$version\""; exit 1 ;;
esac
