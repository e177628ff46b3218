#!/usr/bin/env bash
# After builder_build.e2e: the flasher in the work directory is the template byte for byte,
# except for the 524288 bytes after the start keyword, which are KV81.BIN and then KV05.BIN, and
# for its checksum, which is the image checksum of the flasher's own bytes.
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

# The checksum field: the optional header's 64th byte.
pe=$(od -An -tu4 -j 60 -N 4 "$template" | tr -d ' ')
field=$((pe + 4 + 20 + 64))
cmp -n "$field" "$template" "$flasher"
cmp -n "$((slot - field - 4))" -i "$((field + 4)):$((field + 4))" "$template" "$flasher"
cmp -n "$image" -i "$slot:0" "$flasher" "$zolk"
cmp -n "$image" -i "$((slot + image)):0" "$flasher" "$nonzolk"
cmp -i "$rest:$rest" "$template" "$flasher"
# No temporary file of the build is left over.
if ls "$work" | grep -qi '^KXD.*\.TMP$'; then
  echo "temporary files left: $(ls "$work" | grep -i '^KXD')" >&2
  exit 1
fi
# The image checksum, computed here on its own: 16-bit words added with end-around carry, the
# field counted as zero, plus the length.
python3 - "$flasher" "$field" <<'CHECKSUM'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
field = int(sys.argv[2])
stored = struct.unpack_from("<I", data, field)[0]
data[field:field + 4] = bytes(4)
if len(data) % 2:
    data.append(0)
total = sum(struct.unpack("<%dH" % (len(data) // 2), data))
while total >> 16:
    total = (total & 0xFFFF) + (total >> 16)
computed = total + len(open(sys.argv[1], "rb").read())
if stored != computed:
    sys.exit("flasher checksum %08X, its bytes give %08X" % (stored, computed))
CHECKSUM
echo "flasher = template with both images at $slot and its own checksum ($size bytes)"
