#!/usr/bin/env bash
# Runs a command (an end-to-end test) in the Wine prefix of the slot that CTest granted the test.
# Tests of one suite run side by side, and a flasher lets no second flasher run beside it in the
# same Wine prefix (for Wine, a prefix is a machine): so each test that CTest runs at the same
# time gets a prefix of its own. Slot 0 is the prefix WINEPREFIX names; slot N is WINEPREFIX.N,
# made from it by scripts/wine-run.sh (KXD_WINE_SEED) on first use.
#
#   scripts/e2e-slot.sh COMMAND...
#
# CTest grants the slot through its resource allocation (the test asks for one `wineprefix`
# resource; the suite's resource file, tests/e2e/wine-prefixes.json, lists the slots): it
# passes CTEST_RESOURCE_GROUP_0_WINEPREFIX=id:N,slots:1. Without it (a test run by hand) the
# command runs in WINEPREFIX itself.
set -euo pipefail
: "${WINEPREFIX:?e2e-slot.sh: WINEPREFIX names the Wine prefix of the suite}"
grant="${CTEST_RESOURCE_GROUP_0_WINEPREFIX:-}"
if [ -n "$grant" ]; then
    slot="${grant#id:}"
    slot="${slot%%,*}"
    if [ "$slot" != 0 ]; then
        export KXD_WINE_SEED="$WINEPREFIX"
        export WINEPREFIX="$WINEPREFIX.$slot"
    fi
fi
exec "$@"
