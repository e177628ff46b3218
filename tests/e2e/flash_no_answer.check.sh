#!/usr/bin/env bash
# After flash_no_answer.e2e: nothing went to the drive after a request it did not answer until
# the next press (START STOP UNIT 3), and nothing at all after the second one.
#   flash_no_answer.check.sh WORK
set -euo pipefail
work="$1"
# Operation codes of the submissions, and where the ones that never completed stand.
ops=$(grep '^submit ' "$work/trace.txt" | sed -E 's/.* cdb=([0-9A-F]{2}).* status=([a-z0-9]+).*/\1 \2/')
never=$(echo "$ops" | grep -n ' never$' | cut -d: -f1)
count=$(echo "$ops" | wc -l)
set -- $never
if [ $# -ne 2 ]; then
  echo "expected two requests that never completed, found $#" >&2
  exit 1
fi
after_first=$(echo "$ops" | sed -n "$(($1 + 1))p")
if [ "$(echo "$ops" | sed -n "${1}p")" != "3B never" ] || [ "${after_first%% *}" != 1B ]; then
  echo "after the unanswered WRITE BUFFER the next request is not the next press's START STOP UNIT: $after_first" >&2
  exit 1
fi
if [ "$(echo "$ops" | sed -n "${2}p")" != "3C never" ] || [ "$2" -ne "$count" ]; then
  echo "the unanswered READ BUFFER is not the last request" >&2
  exit 1
fi
echo "nothing sent after either unanswered request; $count requests"
