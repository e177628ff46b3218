#!/usr/bin/env bash
# Runs one end-to-end scenario: an empty work directory, the driver under Wine (with Xvfb when
# there is no display), screenshots and the box transcript kept in the work directory.
#
#   scripts/wine-e2e.sh [--arch win64|win32] --driver DRIVER.EXE --work DIR SCENARIO [-D NAME=VALUE]...
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

arch=win64
driver=""
work=""
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch="$2"; shift 2 ;;
    --driver) driver="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    *) break ;;
  esac
done
[ -n "$driver" ] && [ -n "$work" ] && [ $# -ge 1 ] ||
  { echo "usage: wine-e2e.sh [--arch win64|win32] --driver DRIVER.EXE --work DIR SCENARIO [-D NAME=VALUE]..." >&2; exit 2; }
scenario="$1"; shift

rm -rf "$work"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
# The driver's output goes through a file: Wine's background processes (the server, the
# desktop) inherit it and may outlive the run, and a pipe held by them would keep the caller
# (ctest) waiting for as long as any other run in the same prefix goes on.
status=0
bash "$here/wine-run.sh" --arch "$arch" --shots "$work" "$driver" -D "WORK=$work" \
  --transcript "$work/transcript.txt" "$@" "$scenario" >"$work/driver.log" 2>&1 </dev/null ||
  status=$?
cat "$work/driver.log"
# A driver ended from outside (a program that restarts the system ends every process of the
# prefix, with exit code 0) has not passed its script.
if [ "$status" = 0 ] && ! grep -q '^driver: .* passed in [0-9]* ms' "$work/driver.log"; then
  echo "wine-e2e: the driver ended before the end of its script" >&2
  status=1
fi
exit "$status"
