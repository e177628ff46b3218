#!/usr/bin/env bash
# After flash_completed.e2e with the progress bar of common controls 4.00 (tools/comctl400): the
# requests and the image of flash_completed, and the bar showing the transfer in the 16-bit range
# the program falls back to (0..32767: sixteen blocks written, sixteen read back), then the
# commit's 40 seconds filled at their end (the ticks between depend on the drive's timing).
#   comctl400.check.sh WORK
set -euo pipefail
bash "$(dirname "$0")/flash_completed.check.sh" "$1"
transfer=$(for k in $(seq 0 16); do echo -n "0 32767 $((k * 32767 / 16)), "; done)
expected="0 100 0, ${transfer}${transfer}0 32767 0, 0 40 0, 0 40 40, "
shown=$(tr -d '\r' <"$1/progress.txt" | grep -Ev '^range 0 40 position ([1-9]|[1-3][0-9])$' |
    sed -E 's/range (.*) position (.*)/\1 \2, /' | tr -d '\n')
[ "$shown" = "$expected" ] || { echo "the bar showed: $shown" >&2; exit 1; }
echo "progress bar of common controls 4.00: the transfer in 0..32767, the commit to its end"
