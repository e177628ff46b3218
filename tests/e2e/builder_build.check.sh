#!/usr/bin/env bash
# After builder_build.e2e: the flasher in the work directory is the template byte for byte,
# except for its checksum and the 524288 bytes after the start keyword, which are KV81.BIN and
# then KV05.BIN; kxdflash build wrote the same bytes.
#   builder_build.check.sh WORK
set -euo pipefail
work="$1"
template="$work/W9XKVXXXX.EXE"
flasher="$work/W9XKV8105.EXE"
zolk="$work/KV81.BIN"
nonzolk="$work/KV05.BIN"
for f in "$template" "$flasher" "$zolk" "$nonzolk"; do
  [ -f "$f" ] || { echo "missing $f" >&2; exit 1; }
done

size=$(stat -c %s "$template")
[ "$(stat -c %s "$flasher")" = "$size" ] || { echo "flasher size differs from the template's" >&2; exit 1; }

found=$(grep -obUaP 'BIN-START-ADDR\x00' "$template" | head -n 1 | cut -d: -f1)
[ -n "$found" ] || { echo "no start keyword in the template" >&2; exit 1; }
slot=$((found + 15))
image=262144
rest=$((slot + 2 * image))

# The flasher carries a checksum of its own (the PE optional header's CheckSum field); every other
# byte before the slots is the template's.
field=$(python3 -c 'import struct, sys; print(struct.unpack_from("<I", open(sys.argv[1], "rb").read(), 0x3C)[0] + 88)' "$template")
cmp -n "$field" "$template" "$flasher"
cmp -n $((slot - field - 4)) -i $((field + 4)):$((field + 4)) "$template" "$flasher"
cmp -n "$image" -i "$slot:0" "$flasher" "$zolk"
cmp -n "$image" -i "$((slot + image)):0" "$flasher" "$nonzolk"
cmp -i "$rest:$rest" "$template" "$flasher"
# No temporary file of the build is left over.
if ls "$work" | grep -qi '^KXD.*\.TMP$'; then
  echo "temporary files left: $(ls "$work" | grep -i '^KXD')" >&2
  exit 1
fi
# kxdflash build writes the very same bytes.
cmp "$flasher" "$work/cli/W9XKV8105.EXE"
echo "flasher = template with both images at $slot ($size bytes), as kxdflash build writes it"
