#!/usr/bin/env bash
# After flash_completed.e2e: the drive took the ZOL-K image byte for byte, and the flasher sent
# START STOP UNIT 3 and 0, TEST UNIT READY, sixteen 16 KiB blocks at rising offsets, read them
# back in the same order, then one commit request.
#   flash_completed.check.sh WORK
set -euo pipefail
work="$1"
cmp "$work/fw.bin" "$work/KV81.BIN"

# The flash's requests: everything after the start-up scan's six INQUIRY requests.
sent=$(grep '^submit ' "$work/trace.txt" | grep -v 'cdb=12 ' | sed -E 's/.*len=([0-9]+) cdb=([0-9A-F ]+) status=.*/\1 \2/')
expected="0 1B 00 00 00 03 00 00 00 00 00 00 00
0 1B 00 00 00 00 00 00 00 00 00 00 00
0 00 00 00 00 00 00 00 00 00 00 00 00"
for op in "3B 05" "3C 01"; do
  for block in $(seq 0 15); do
    offset=$(printf '%06X' $((block * 16384)))
    expected="$expected
16384 $op 01 ${offset:0:2} ${offset:2:2} ${offset:4:2} 00 40 00 00 00 00"
  done
done
expected="$expected
1 3B 05 01 00 00 00 00 00 01 80 00 00"
if [ "$sent" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$sent") >&2 || true
  echo "the flash sent other requests" >&2
  exit 1
fi
echo "drive firmware = KV81.BIN; 35 requests as expected"
