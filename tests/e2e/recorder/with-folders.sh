#!/usr/bin/env bash
# Runs a command (an end-to-end test) with two folders a recording cannot be written to, mounted
# as root: BASE.ro, a read-only view of BASE.ro-src (which the test fills), and BASE.full, a
# small file system with room for the program and the layer and 100 KB more.
#
#   with-folders.sh BASE PROGRAM LAYER COMMAND...
#
# Where nothing can be mounted the test reports itself skipped (exit code 77).
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: with-folders.sh BASE PROGRAM LAYER COMMAND..." >&2; exit 2; }
base="$1" program="$2" layer="$3"
shift 3
pages() { echo $(( ($(stat -c %s "$1") + 4095) / 4096 )); }

unmount() {
  for point in "$base.ro" "$base.full"; do
    if mountpoint -q "$point" 2>/dev/null; then umount "$point" || umount -l "$point"; fi
  done
}
unmount
trap unmount EXIT
rm -rf "$base.ro-src" "$base.ro" "$base.full"
mkdir -p "$base.ro-src" "$base.ro" "$base.full"
size=$(( ($(pages "$program") + $(pages "$layer") + 25) * 4096 ))
if ! mount --bind "$base.ro-src" "$base.ro" 2>/dev/null ||
   ! mount -o remount,bind,ro "$base.ro" 2>/dev/null ||
   ! mount -t tmpfs -o "size=$size,mode=0755" kxd-recorder-full "$base.full" 2>/dev/null; then
  echo "with-folders.sh: no folder can be mounted here: the test is skipped" >&2
  exit 77
fi
"$@"
