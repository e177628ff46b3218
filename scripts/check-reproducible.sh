#!/usr/bin/env bash
# Builds the Windows 9x release a second time from a copy of the sources in another folder and
# checks that it is byte for byte the one in build/win32: the same sources give the same bytes,
# whatever the build folder and the time.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"
first="$repo/build/win32/src/app/W9XKVXXXX.EXE"
[ -f "$first" ] || { echo "check-reproducible: build the win32 preset first" >&2; exit 1; }

copy="$(mktemp -d /tmp/kxd-second-clone.XXXXXX)"
trap 'rm -rf "$copy"' EXIT
if git -C "$repo" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$repo" ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
        xargs -0 cp --parents -t "$copy"
else
    tar -C "$repo" --exclude=./build --exclude=./out -cf - . | tar -C "$copy" -xf -
fi
cmake --preset win32 -S "$copy" -DKXD_RUNTIME9X_DIR="$repo/build/runtime-i486/lib" >/dev/null
cmake --build "$copy/build/win32" --target W9XKVXXXX -j"$(nproc)" >/dev/null
second="$copy/build/win32/src/app/W9XKVXXXX.EXE"
if ! cmp "$first" "$second"; then
    echo "check-reproducible: the release built in $copy differs from $first" >&2
    exit 1
fi
echo "check-reproducible: W9XKVXXXX.EXE built in two folders is byte-identical ($(stat -c %s "$first") bytes, sha256 $(sha256sum "$first" | cut -c1-16))"
