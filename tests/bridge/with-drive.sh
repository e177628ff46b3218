#!/usr/bin/env bash
# Runs a command (an end-to-end test) with the emulated drive (sim/sgdevice) in every process it
# starts: its library preloaded, the node it emulates (an empty file beside the Wine prefix,
# made when missing), the scenario file it reads, and the prefix's drive D: a CD-ROM drive with
# that node as its device (scripts/wine-run.sh, KXD_WINE_CDROM).
#
#   tests/bridge/with-drive.sh PRELOAD SCENARIO COMMAND...
#
# PRELOAD holds lib/x86_64-linux-gnu/libkxdsg.so, and lib/i386-linux-gnu/libkxdsg.so for 32-bit
# Wine; WINEPREFIX names the prefix.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: with-drive.sh PRELOAD SCENARIO COMMAND..." >&2; exit 2; }
preload="$1"
scenario="$2"
shift 2
: "${WINEPREFIX:?with-drive.sh: WINEPREFIX names the Wine prefix}"
[ -f "$preload/lib/x86_64-linux-gnu/libkxdsg.so" ] ||
  { echo "with-drive.sh: no emulated drive in $preload (build the preset)" >&2; exit 1; }

device="$WINEPREFIX.cdrom"
[ -e "$device" ] || : >"$device"
export KXD_WINE_CDROM="$device" KXD_SG_DEVICE="$device" KXD_SG_SCENARIO="$scenario"
# $LIB stays as written: the loader puts lib/x86_64-linux-gnu or lib/i386-linux-gnu in its
# place, in each process as fits it.
export LD_PRELOAD="$preload/\$LIB/libkxdsg.so"
exec "$@"
