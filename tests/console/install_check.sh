#!/usr/bin/env bash
# What cmake --install puts in place and what the Debian package from CPack holds: the program
# and its manual page.
#   install_check.sh BUILD WORK
set -euo pipefail
build="$1" work="$2"
rm -rf "$work" && mkdir -p "$work"
cmake --install "$build" --prefix "$work/root" >/dev/null
for f in bin/kxdflash share/man/man1/kxdflash.1; do
  [ -f "$work/root/$f" ] || { echo "cmake --install left out $f" >&2; exit 1; }
done
"$work/root/bin/kxdflash" --version | grep -q '^kxdflash '
if command -v groff >/dev/null; then
  # The manual page reads without a complaint of the formatter.
  warnings="$(groff -man -Tutf8 -ww -z "$work/root/share/man/man1/kxdflash.1" 2>&1)"
  [ -z "$warnings" ] || { echo "the manual page: $warnings" >&2; exit 1; }
fi
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null)
deb="$(ls "$work"/package/*.deb)"
contents="$(dpkg-deb -c "$deb")"
for f in ./usr/bin/kxdflash ./usr/share/man/man1/kxdflash.1; do
  grep -q " $f\$" <<<"$contents" || { echo "the package lacks $f" >&2; exit 1; }
done
echo "installed and packaged: $(basename "$deb")"
