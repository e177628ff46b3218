#!/usr/bin/env bash
# The main job: builds everything, then shows the program at work under 64-bit Wine (with Xvfb
# when there is no display) against the simulated drive: the template's builder window makes a
# flasher, which then flashes the simulated KXD-7316. Screenshots, the message-box transcript,
# the drive's request trace and the firmware it took end up in out/; the screenshots, trimmed
# to the windows, also in docs/screenshots/ (the README shows them). A summary ends the run.
#
#   bash scripts/run.sh              the demonstration, driven by the end-to-end driver
#   bash scripts/run.sh --manual     the flasher only, left to you (needs a display)
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"

manual=0
[ "${1:-}" = "--manual" ] && manual=1

bash scripts/build.sh

out="$repo/out"
stage="$repo/build/demo-stage"
rm -rf "$stage"
mkdir -p "$stage"
win="$repo/build/win64"
winpath() { echo "Z:${1//\//\\}"; }

# Two generated images, a flasher named after them, our ASPI layer and the simulated bus.
build/host/tests/make_flasher --image 81 "$stage/KV81.BIN"
build/host/tests/make_flasher --image 5 "$stage/KV05.BIN"
build/host/tests/make_flasher "$win/src/app/W9XKVXXXX.EXE" "$stage/KV81.BIN" "$stage/KV05.BIN" \
    "$stage/W9XKV8105.EXE"
cp "$win/sim/WNASPI32.DLL" "$stage/"
cat > "$stage/bus.txt" <<BUS
# A disk at 0:0 and a KXD-7316 at 0:1 with firmware KV80 and an empty tray, answering each
# request after 100 ms so that the flash can be watched.
device 0:0 other
device 0:1 kxd revision=KV80 new-revision=KV81 commit-ms=2000 latency=100
trace $(winpath "$out/trace.txt")
save-firmware $(winpath "$out/firmware.bin")
BUS
export KXD_SIM_SCENARIO="$(winpath "$out/bus.txt")"

if [ "$manual" = 1 ]; then
    [ -n "${DISPLAY:-}" ] || { echo "run.sh --manual needs a display" >&2; exit 2; }
    rm -rf "$out" && mkdir -p "$out" && cp "$stage"/* "$out/"
    WINEDLLOVERRIDES=wnaspi32=n bash scripts/wine-run.sh --cwd "$out" "$out/W9XKV8105.EXE"
    exit 0
fi

# The driver empties its work directory ($out) and copies the prepared files in.
WINEDLLOVERRIDES=wnaspi32=n bash scripts/wine-e2e.sh --driver "$win/tools/driver.exe" \
    --work "$out" scripts/demo/demo.e2e -D "APP=$win/src/app/W9XKVXXXX.EXE" -D "STAGE=$stage"

# The screenshots for the README: trimmed to the windows on the black screen, without time
# stamps, so that an unchanged picture gives unchanged bytes.
shots="$repo/docs/screenshots"
mkdir -p "$shots"
rm -f "$shots"/*.png
for shot in "$out"/[0-9]-*.png; do
    convert "$shot" -trim +repage -strip -define png:exclude-chunks=date,time \
        "$shots/$(basename "$shot")"
done

# What the run did, from what the builder wrote and what the drive saw.
flasher="$out/W9XKV8105.EXE"
commit="$(sed -n -E 's/^commit #[0-9]+ .*slot=0:1 revision=(.*)$/\1/p' "$out/trace.txt")"
if cmp -s "$stage/KV81.BIN" "$out/firmware.bin"; then same=yes; else same=no; fi
echo
echo "== Summary"
echo "Flasher built by the builder window: out/$(basename "$flasher") ($(stat -c %s "$flasher") bytes, from KV81.BIN and KV05.BIN)"
echo "Drive at 0:1, firmware revision: before ${commit%->*}, after ${commit#*->}"
echo "The drive's firmware equals the flasher's image KV81.BIN: $same"
echo "Screenshots: out/ and docs/screenshots/; transcript and the drive's trace: out/"
[ "$same" = yes ]
