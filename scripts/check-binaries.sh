#!/usr/bin/env bash
# Checks what every built executable must hold: the package area's start keyword exactly once,
# followed by the template marker, and the end keyword 524303 bytes after the start. (What the
# Windows 9x release must be beyond that, its instructions, imports and size, is checked by the
# release tests of the win32 preset.)
set -euo pipefail

fail() { echo "check-binaries: $*" >&2; exit 1; }

for dir in "$@"; do
    exe="$dir/src/app/W9XKVXXXX.EXE"
    [ -f "$exe" ] || fail "$exe is missing"
    python3 - "$exe" <<'PY' || fail "$exe: package area"
import sys
data = open(sys.argv[1], "rb").read()
key = b"BIN-START-ADDR\0"
count = data.count(key)
at = data.find(key)
assert count == 1, f"start keyword found {count} times"
assert data[at + 15:at + 21] == b"PELO01", "no template marker after the keyword"
assert data[at + 524303:at + 524316] == b"BIN-END-ADDR\0", "end keyword misplaced"
print(f"{sys.argv[1]}: keyword once at file offset {at}, marker and end keyword in place")
PY
done
