#!/usr/bin/env bash
# After flash_completed.e2e with the progress bar of common controls 4.00 (tools/comctl400): the
# drive got the same requests and took the same image, and the bar showed the transfer in the
# 16-bit range the program falls back to: 0..32767, sixteen blocks written and sixteen read back,
# then the commit's 40 seconds (its ticks depend on the drive's timing) filled at its end.
#   comctl400.check.sh WORK
set -euo pipefail
work="$1"
bash "$(dirname "$0")/flash_completed.check.sh" "$work"

expected="range 0 100 position 0"
for pass in write read; do
  expected="$expected
range 0 32767 position 0"
  for block in $(seq 1 16); do
    expected="$expected
range 0 32767 position $((block * 16384 * 32767 / 262144))"
  done
done
expected="$expected
range 0 32767 position 0
range 0 40 position 0
range 0 40 position 40"
shown=$(tr -d '\r' <"$work/progress.txt" | grep -Ev '^range 0 40 position ([1-9]|[1-3][0-9])$')
if [ "$shown" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$shown") >&2 || true
  echo "the progress bar showed something else" >&2
  exit 1
fi
echo "progress bar of common controls 4.00: the transfer shown in 0..32767, the commit to its end"
