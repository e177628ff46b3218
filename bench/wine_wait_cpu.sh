#!/usr/bin/env bash
# The flasher's share of one processor while it waits for a drive's slow START STOP UNIT (twenty
# seconds, a tray slow to close), over the first ten seconds of the wait, under 64-bit Wine:
# its process's user and system time (from /proc) against the time that passed. A wait that
# spins costs a whole processor, on Windows 9x the whole machine.
#
#   bench/wine_wait_cpu.sh [TEMPLATE.EXE]     default: the win64 build's template
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"
win="$repo/build/win64"
template="${1:-$win/src/app/W9XKVXXXX.EXE}"
work="$repo/build/bench/wine_wait_cpu"
rm -rf "$work"
bash scripts/wine-e2e.sh --driver "$win/tools/driver.exe" --work "$work" bench/wine_wait_cpu.e2e \
    -D "APP=$template" -D "MAKE_FLASHER=$win/tools/make_flasher.exe" -D "BUILD=$win" \
    -D "SOURCE=$repo" -D "E2E=$repo/tests/e2e" >/dev/null &
run=$!
# The wait begins with the START STOP UNIT request on the drive's trace.
for _ in $(seq 600); do
    grep -q '^submit .* cdb=1B ' "$work/trace.txt" 2>/dev/null && break
    sleep 0.05
done
pid="$(pgrep -f 'WAITKV8105.EXE' | head -n 1)"
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
first="$(ticks)"
sleep 10
last="$(ticks)"
wait "$run" || true
awk -v used="$((last - first))" -v hz="$(getconf CLK_TCK)" \
    'BEGIN { printf "%.1f%% of a processor\n", 100 * used / hz / 10 }'
