#!/usr/bin/env bash
# After flash_no_answer.e2e: in each start's trace the request that the drive did not answer
# (WRITE BUFFER in the first, READ BUFFER in the second) is the last one: nothing went to the
# drive after it, neither from the window (FLASH disabled, Esc) nor from the close.
#   flash_no_answer.check.sh WORK
set -euo pipefail
work="$1"
for pair in "trace.txt 3B" "read-trace.txt 3C"; do
  set -- $pair
  # Operation codes of the submissions and how each ended.
  ops=$(grep '^submit ' "$work/$1" | sed -E 's/.* cdb=([0-9A-F]{2}).* status=([a-z0-9]+).*/\1 \2/')
  if [ "$(echo "$ops" | grep -c ' never$')" != 1 ] || [ "$(echo "$ops" | tail -n 1)" != "$2 never" ]; then
    echo "$1: the unanswered request ($2) is not the only one and the last: $(echo "$ops" | tail -n 3 | tr '\n' ' ')" >&2
    exit 1
  fi
  echo "$1: nothing sent after the unanswered $2 ($(echo "$ops" | wc -l) requests)"
done
