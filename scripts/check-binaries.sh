#!/usr/bin/env bash
# Checks what every shipped executable must hold: the package area's start keyword exactly
# once, followed by the template marker, the end keyword 524303 bytes after the start; and,
# for the Windows 9x build, imports only from DLLs that Windows 98 has.
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

# The Windows 9x release: static, no C++ runtime DLLs, only system DLLs Windows 98 ships.
if [ -f build/win32/src/app/W9XKVXXXX.EXE ]; then
    dlls=$(i686-w64-mingw32-objdump -p build/win32/src/app/W9XKVXXXX.EXE | awk '/DLL Name:/ {print toupper($3)}' | sort -u)
    for dll in $dlls; do
        case "$dll" in
            KERNEL32.DLL|USER32.DLL|GDI32.DLL|COMCTL32.DLL|MSVCRT.DLL|ADVAPI32.DLL) ;;
            *) fail "W9XKVXXXX.EXE (win32) imports $dll" ;;
        esac
    done
    echo "win32 W9XKVXXXX.EXE imports: $(echo $dlls)"
fi
