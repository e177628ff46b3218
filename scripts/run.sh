#!/usr/bin/env bash
# The main job: builds what the demonstration needs (the x86_64 program, our simulated
# WNASPI32.DLL and the test driver; the Wine prefix is made meanwhile), then shows the program at
# work under 64-bit Wine (with Xvfb when there is no display) against the simulated drive: the template's builder window makes a
# flasher, which then flashes the simulated KXD-7316. Then the command-line flasher kxdflash (the
# Linux build, no Wine) flashes an emulated drive with that flasher through the kernel's SG_IO
# ioctl. Screenshots, the message-box transcript, the drive's request trace and the firmware it
# took end up in out/ (kxdflash's in out/kxdflash/); the screenshots, trimmed to the windows,
# also in docs/screenshots/ (the README shows them). A summary ends the run.
#
#   bash scripts/run.sh              the demonstration, driven by the end-to-end driver
#   bash scripts/run.sh --manual     the flasher only, left to you (needs a display)
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"

manual=0
[ "${1:-}" = "--manual" ] && manual=1

step() { echo "== $* ($SECONDS s)"; }

step "Installing what is missing"
bash scripts/setup.sh

out="$repo/out"
stage="$repo/build/demo-stage"
rm -rf "$stage"
mkdir -p "$stage" build
win="$repo/build/win64"
winpath() { echo "Z:${1//\//\\}"; }

step "Making the Wine prefix, in the background"
prefix_log="$repo/build/wineprefix.log"
bash scripts/wine-run.sh --prepare >"$prefix_log" 2>&1 &
prefix_pid=$!

step "Building the program, the simulated drive and the test driver (win64)"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$(nproc)" --target W9XKVXXXX wnaspi32 driver textfit

# The test images of the repository, our ASPI layer and the simulated bus.
cp tests/e2e/builder_images/KV81.BIN tests/e2e/builder_images/KV05.BIN "$win/sim/WNASPI32.DLL" \
    "$stage/"
cat > "$stage/bus.txt" <<BUS
# A disk at 0:0 and a KXD-7316 at 0:1 with firmware KV80 and an empty tray, answering each
# request after 100 ms so that the flash can be watched.
device 0:0 other
device 0:1 kxd revision=KV80 new-revision=KV81 commit-ms=2000 latency=100
trace $(winpath "$out/trace.txt")
save-firmware $(winpath "$out/firmware.bin")
BUS
export KXD_SIM_SCENARIO="$(winpath "$out/bus.txt")"

step "Waiting for the Wine prefix"
wait "$prefix_pid" || { cat "$prefix_log" >&2; exit 1; }

if [ "$manual" = 1 ]; then
    [ -n "${DISPLAY:-}" ] || { echo "run.sh --manual needs a display" >&2; exit 2; }
    step "Making a flasher and leaving it to you"
    cmake --preset host >/dev/null
    cmake --build --preset host -j"$(nproc)" --target make_flasher
    build/host/tests/make_flasher "$win/src/app/W9XKVXXXX.EXE" "$stage/KV81.BIN" "$stage/KV05.BIN" \
        "$stage/W9XKV8105.EXE"
    rm -rf "$out" && mkdir -p "$out" && cp "$stage"/* "$out/"
    WINEDLLOVERRIDES=wnaspi32=n bash scripts/wine-run.sh --cwd "$out" "$out/W9XKV8105.EXE"
    exit 0
fi

step "Building kxdflash and the emulated drive for Linux (host), in the background"
host_log="$repo/build/host-build.log"
(cmake --preset host >/dev/null && cmake --build --preset host -j"$(nproc)" \
    --target kxdflash sgdevice_x86_64) >"$host_log" 2>&1 &
host_pid=$!

step "The demonstration under Wine: the builder window makes a flasher, which flashes the drive"
# The driver empties its work directory ($out) and copies the prepared files in.
WINEDLLOVERRIDES=wnaspi32=n bash scripts/wine-e2e.sh --driver "$win/tools/driver.exe" \
    --work "$out" scripts/demo/demo.e2e -D "APP=$win/src/app/W9XKVXXXX.EXE" -D "STAGE=$stage"

step "Saving the screenshots"
# The screenshots for the README: trimmed to the windows on the black screen, without time
# stamps, so that an unchanged picture gives unchanged bytes.
shots="$repo/docs/screenshots"
mkdir -p "$shots"
rm -f "$shots"/*.png
for shot in "$out"/[0-9]-*.png; do
    convert "$shot" -trim +repage -strip -define png:exclude-chunks=date,time \
        "$shots/$(basename "$shot")"
done

step "kxdflash flashes an emulated drive on Linux with the flasher the builder window made"
wait "$host_pid" || { cat "$host_log" >&2; exit 1; }
cli="$out/kxdflash"
mkdir -p "$cli/dev"
: >"$cli/dev/sr0"
cat >"$cli/bus.txt" <<BUS
# A KXD-7316 with firmware KV80 behind an emulated CD-ROM node, answering each request after
# 20 ms; its commit takes 2 s.
device 0:1 kxd revision=KV80 new-revision=KV81 commit-ms=2000 latency=20
trace trace.txt
save-firmware firmware.bin
BUS
cli_status=0
KXDFLASH_DEVICE_DIR="$cli/dev" KXD_SG_DEVICE="$cli/dev/sr0" KXD_SG_SCENARIO="$cli/bus.txt" \
    LD_PRELOAD="$repo/build/host/sim/sgdevice/preload/\$LIB/libkxdsg.so" \
    build/host/src/app/console/kxdflash flash "$out/W9XKV8105.EXE" --yes \
    >"$cli/stdout.txt" 2>"$cli/stderr.txt" </dev/null || cli_status=$?
cat "$cli/stderr.txt" "$cli/stdout.txt"
cli_commit="$(sed -n -E 's/^commit #[0-9]+ .*revision=(.*)$/\1/p' "$cli/trace.txt")"
if cmp -s "$stage/KV81.BIN" "$cli/firmware.bin"; then cli_same=yes; else cli_same=no; fi

# What the run did, from what the builder wrote and what the drive saw.
flasher="$out/W9XKV8105.EXE"
commit="$(sed -n -E 's/^commit #[0-9]+ .*slot=0:1 revision=(.*)$/\1/p' "$out/trace.txt")"
if cmp -s "$stage/KV81.BIN" "$out/firmware.bin"; then same=yes; else same=no; fi
echo
step "Summary"
echo "Flasher built by the builder window: out/$(basename "$flasher") ($(stat -c %s "$flasher") bytes, from KV81.BIN and KV05.BIN)"
echo "Drive at 0:1, firmware revision: before ${commit%->*}, after ${commit#*->}"
echo "The drive's firmware equals the flasher's image KV81.BIN: $same"
echo "kxdflash (Linux, SG_IO, no Wine), emulated drive: exit status $cli_status, firmware revision before ${cli_commit%->*}, after ${cli_commit#*->}; it equals KV81.BIN: $cli_same"
echo "Screenshots: out/ and docs/screenshots/; transcript and the drive's trace: out/ (kxdflash's: out/kxdflash/)"
[ "$same" = yes ] && [ "$cli_same" = yes ] && [ "$cli_status" = 0 ]
