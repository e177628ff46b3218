#!/usr/bin/env bash
# Runs the ASPI probe under Wine (64-bit, or 32-bit with --arch win32) against our
# WNASPI32.DLL with a scenario that fills three of the six slots, and checks what the probe saw
# and what the layer traced.
#
#   run-probe.sh [--arch win64|win32] aspi_probe.exe WNASPI32.DLL
set -euo pipefail
arch=win64
if [ "${1:-}" = --arch ]; then arch="$2"; shift 2; fi
probe="$1"
dll="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"

work="$(mktemp -d /tmp/aspi-probe.XXXXXX)"
trap 'rm -rf "$work"' EXIT
cp "$probe" "$work/aspi_probe.exe"
cp "$dll" "$work/WNASPI32.DLL"
winpath() { echo "Z:${1//\//\\}"; }
cat >"$work/scenario.txt" <<SCENARIO
# Two drives and a disk; slots 0:0, 1:1 and 2:1 stay empty.
trace $(winpath "$work/trace.txt")
device 0:1 kxd revision=KV81
device 1:0 other vendor="SIMBUS  " product="FIXED DISK 2000"
device 2:0 kxd revision=KV1A latency=20
SCENARIO

export KXD_SIM_SCENARIO
KXD_SIM_SCENARIO="$(winpath "$work/scenario.txt")"
export WINEDLLOVERRIDES='wnaspi32=n'
status=0
"$repo/scripts/wine-run.sh" --arch "$arch" --cwd "$work" "$work/aspi_probe.exe" >"$work/raw.txt" || status=$?
[ "$status" = 0 ] || exit "$status"
tr -d '\r' <"$work/raw.txt" >"$work/out.txt"
cat "$work/out.txt"
echo "--- trace"
cat "$work/trace.txt"

fail=0
expect() { grep -qF -- "$1" "$2" || { echo "missing in $(basename "$2"): $1"; fail=1; }; }
expect 'support 0103' "$work/out.txt"
expect 'slot 0:0 status 82' "$work/out.txt"
expect 'slot 0:1 status 01 "QUORVEN KXD-7316        KV81"' "$work/out.txt"
expect 'slot 1:0 status 01 "SIMBUS  FIXED DISK 2000 1.00"' "$work/out.txt"
expect 'slot 1:1 status 82' "$work/out.txt"
expect 'slot 2:0 status 01 "QUORVEN KXD-7316        KV1A"' "$work/out.txt"
expect 'slot 2:1 status 82' "$work/out.txt"
[ "$(grep -c '^submit ' "$work/trace.txt")" -eq 6 ] || { echo "expected 6 submitted requests"; fail=1; }
[ "$(grep -c '^done ' "$work/trace.txt")" -eq 6 ] || { echo "expected 6 completed requests"; fail=1; }
expect 'submit #2 t=' "$work/trace.txt"
grep -q '^submit #2 .*slot=0:1 flags=48 len=36 cdb=12 00 00 00 24 00 status=01' "$work/trace.txt" ||
  { echo "trace line of request 2 wrong"; fail=1; }
exit $fail
