#!/usr/bin/env bash
# Runs an end-to-end scenario in a Wine prefix made without the Windows 9x fonts
# (KXD_WINE_FONTS=none, see scripts/wine-run.sh) and passes when the driver fails there as it
# must: exit code 1 at a text-fit step that timed out with texts cut.
#
#   without_fonts.sh PREFIX WINE-E2E-ARGUMENTS...
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

export KXD_WINE_FONTS=none
export WINEPREFIX="$1"
shift
output="$(bash "$here/../../scripts/wine-e2e.sh" "$@" 2>&1)"
status=$?
printf '%s\n' "$output"
[ "$status" -ne 77 ] || exit 77
if [ "$status" -ne 1 ]; then
    echo "without_fonts: the driver ended with $status, not 1 (a failed step)"
    exit 1
fi
if ! grep -Eq "driver: .*: timed out after [0-9]+ ms waiting for the (box's )?texts to fit" \
        <<<"$output" || ! grep -Eq "^    cut " <<<"$output"; then
    echo "without_fonts: the driver failed, but not at a text-fit step with texts cut"
    exit 1
fi
echo "without_fonts: the text-fit check failed without the fonts, as it must"
