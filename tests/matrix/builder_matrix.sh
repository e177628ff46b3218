#!/usr/bin/env bash
# Runs the builder's file matrix (builder_matrix.cpp) under Wine, with the two file systems its
# cases need mounted for the run (as root): a small tmpfs that takes the files of a case but no
# flasher, and a read-only one holding the template, both images and an earlier flasher.
# Where mounting is not permitted, those cases report themselves skipped.
#
#   builder_matrix.sh --arch win64|win32 --tool builder_matrix.exe --template W9XKVXXXX.EXE
#                     --images DIR --work DIR
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch="$2"; shift 2 ;;
    --tool) tool="$2"; shift 2 ;;
    --template) template="$2"; shift 2 ;;
    --images) images="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    *) echo "builder_matrix.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

windows() { printf 'Z:%s' "${1//\//\\}"; }

full="$work/full"
readonly="$work/readonly"
unmount() {
  for point in "$full" "$readonly"; do
    if mountpoint -q "$point" 2>/dev/null; then umount "$point" || umount -l "$point"; fi
  done
}
unmount
rm -rf "$work"
mkdir -p "$work/cases" "$full" "$readonly"
trap unmount EXIT

# Room for the template, both images and an earlier flasher of one case, in whole pages, and
# for half a flasher more: the flasher runs out of room half-way. The matrix empties each case's
# folder there before the next.
page=4096
size=$(stat -c %s "$template")
pages() { echo $((($1 + page - 1) / page)); }
full_pages=$(($(pages "$size") + 2 * $(pages 262144) + $(pages 70000) + 2 + $(pages $((size / 2)))))
full_arg=-
if mount -t tmpfs -o "size=$((full_pages * page)),mode=0755" kxd-matrix-full "$full" 2>/dev/null; then
  full_arg="$(windows "$full")"
else
  echo "builder_matrix.sh: no tmpfs can be mounted here: the full-disk cases are skipped" >&2
fi
readonly_arg=-
if mount -t tmpfs -o size=8m,mode=0755 kxd-matrix-readonly "$readonly" 2>/dev/null; then
  cp "$template" "$readonly/W9XKVXXXX.EXE"
  cp "$images/KV81.BIN" "$images/KV05.BIN" "$readonly/"
  head -c 70000 /dev/urandom >"$readonly/W9XKV8105.EXE"
  if mount -o remount,ro "$readonly"; then
    readonly_arg="$(windows "$readonly")"
  fi
else
  echo "builder_matrix.sh: no tmpfs can be mounted here: the read-only folder case is skipped" >&2
fi

set +e
bash "$repo/scripts/wine-run.sh" --arch "$arch" "$tool" "$(windows "$template")" \
  "$(windows "$images")" "$(windows "$work/cases")" "$full_arg" "$readonly_arg" | tee "$work/table.md"
status=${PIPESTATUS[0]}
exit "$status"
