#!/usr/bin/env bash
# finish-deb.sh PACKAGE.deb: what CPack cannot say itself. The library and development
# packages are Multi-Arch: same (their files lie in the multiarch folder); a library
# package runs ldconfig through dpkg's trigger alone, so the postinst and postrm CPack
# writes to call it go; its symbols file (debian/<package>.symbols, one pattern per
# version node) is expanded by dpkg-gensymbols into the symbol list dpkg-shlibdeps reads;
# binaries lose their .comment section (the compiler's name), as dh_strip does. The
# package is then rebuilt with fresh md5sums, owned by root.
set -euo pipefail
deb=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -R "$deb" "$work/p"
control=$work/p/DEBIAN/control
package=$(sed -n 's/^Package: //p' "$control")
version=$(sed -n 's/^Version: //p' "$control")

case $package in
  lib*)
    sed -i '/^Architecture:/a Multi-Arch: same' "$control"
    for script in postinst postrm; do
      file=$work/p/DEBIAN/$script
      # Only scripts that do nothing but call ldconfig are dropped.
      if [ -f "$file" ] && ! grep -v -e '^#' -e '^\s*$' -e 'ldconfig' -e '^\s*set -e' \
          -e '^\s*if \[' -e '^\s*fi\s*$' -e '^\s*exit 0' "$file" | grep -q .; then
        rm "$file"
      fi
    done
    if [ -f "$work/p/DEBIAN/symbols" ]; then
      mv "$work/p/DEBIAN/symbols" "$work/symbols.in"
      # -c1: a symbol the template promises that the library lacks fails the package.
      dpkg-gensymbols -q -c1 -p"$package" -P"$work/p" -I"$work/symbols.in" \
        -O"$work/p/DEBIAN/symbols" -v"$version"
      chmod 644 "$work/p/DEBIAN/symbols"
    fi
    ;;
esac

while IFS= read -r -d '' file; do
  if objdump -h "$file" 2>/dev/null | grep -q ' \.comment '; then
    objcopy --remove-section=.comment "$file"
  fi
done < <(find "$work/p" -path "$work/p/DEBIAN" -prune -o -type f -perm -u+x -print0 \
           -o -type f -name '*.so*' -print0)

(cd "$work/p" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z |
  xargs -0 -r md5sum >DEBIAN/md5sums)
dpkg-deb --root-owner-group -Zxz -b "$work/p" "$deb" >/dev/null
