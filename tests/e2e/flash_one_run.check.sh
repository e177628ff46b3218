#!/usr/bin/env bash
# After flash_one_run.e2e: the drive saw the first flasher's six INQUIRY requests and then one
# whole flash (flash_completed.check.sh), nothing of the second flasher and no second run.
#   flash_one_run.check.sh WORK
set -euo pipefail
inquiries=$(grep -c '^submit .* cdb=12 ' "$1/trace.txt")
[ "$inquiries" = 6 ] || { echo "$inquiries INQUIRY requests, not the one scan's six" >&2; exit 1; }
exec bash "$(dirname "$0")/flash_completed.check.sh" "$1"
