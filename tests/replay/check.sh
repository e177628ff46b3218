#!/usr/bin/env bash
# After a recorded or replayed session scenario: what it left matches what is kept for the
# session, times aside.
#   check.sh record SESSION WORK    the recording (text and side file) and the bus trace
#   check.sh replay SESSION WORK    the bus trace, with no request that was not the one recorded
set -euo pipefail
mode="$1"
session="$2"
work="$3"

# Times differ from run to run (and with them the recording's checksum); everything else must
# not. A simulated device's own account of a commit is no traffic of the bus (a replay has no
# device to commit).
recording() {
  grep -v '^#' "$1" | tr -d '\r' | sed -E 's/ t=[0-9]+/ t=/; s/ end=[0-9]+/ end=/; s/^end crc=.*/end crc=/'
}
bus_trace() { grep -v '^commit ' "$1" | sed -E 's/ t=-?[0-9]+/ t=/; s/ due=[0-9]+/ due=/'; }
same() {
  if ! diff -u <("$1" "$2") <("$1" "$3") >"$work/check.diff"; then
    echo "$3 differs from $2 (times aside):" >&2
    head -40 "$work/check.diff" >&2
    exit 1
  fi
}

case "$mode" in
  record)
    same recording "$session/KXDREC00.TXT" "$work/KXDREC00.TXT"
    cmp "$session/KXDREC00.BIN" "$work/KXDREC00.BIN"
    ;;
  replay)
    if grep -q '^replay-error' "$work/trace.txt"; then
      grep '^replay-error' "$work/trace.txt" >&2
      exit 1
    fi
    ;;
  *) echo "usage: check.sh record|replay SESSION WORK" >&2; exit 2 ;;
esac
same bus_trace "$session/trace.txt" "$work/trace.txt"
echo "$mode of $(basename "$session"): as kept, times aside"
