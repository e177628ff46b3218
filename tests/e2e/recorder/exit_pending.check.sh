#!/usr/bin/env bash
# After exit_pending.e2e: the recording, as it was just before the process ended (BEFORE.TXT) and
# after, ends with its pending request and its end line.
set -euo pipefail
for recording in "$1/BEFORE.TXT" "$1/KXDREC00.TXT"; do
  tr -d '\r' <"$recording" | tail -2 | head -1 | grep -q '^request 1 .* end=pending ' ||
    { echo "no pending request at the end of $recording" >&2; exit 1; }
  tr -d '\r' <"$recording" | tail -1 | grep -q '^end crc=[0-9A-F]\{8\}$' ||
    { echo "no end line in $recording" >&2; exit 1; }
done
echo "the recording ends with the pending request and its end line, before the process's end too"
