#!/usr/bin/env bash
# The program's own time in a flash under 64-bit Wine, against the simulated drive answering at
# once: from the first request after the Yes (START STOP UNIT) to the commit request, minus the
# readiness polls' 30 ms sleeps (none here: the tray is empty at the first poll). What remains
# is the program between the drive's answers: 33 transfers, the copies and comparisons of 512
# KiB, the bar and the status line. Prints the median of five flashes (or of RUNS) in
# milliseconds.
#
#   bench/wine_flash.sh [RUNS]
set -euo pipefail
runs="${1:-5}"
cd "$(dirname "$0")/.."
repo="$PWD"
win="$repo/build/win64"
times=()
for run in $(seq "$runs"); do
    work="$repo/build/bench/wine_flash"
    bash scripts/wine-e2e.sh --driver "$win/tools/driver.exe" --work "$work" bench/wine_flash.e2e \
        -D "APP=$win/src/app/W9XKVXXXX.EXE" -D "MAKE_FLASHER=$win/tools/make_flasher.exe" \
        -D "BUILD=$win" -D "SOURCE=$repo" -D "E2E=$repo/tests/e2e" >/dev/null
    times+=("$(awk '
        /^submit / && / cdb=1B / && first == "" { sub("t=", "", $3); first = $3 }
        /^submit / && / cdb=00 / && / status=04 sense=02\/04/ { polls++ }
        /^submit / && / cdb=3B / && / 80 00 00 status/ { sub("t=", "", $3); commit = $3 }
        END { print commit - first - 30 * polls }' "$work/trace.txt")")
done
printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p" | sed 's/$/ ms/'
