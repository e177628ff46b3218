#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix and returns its exit code.
#
#   scripts/wine-run.sh [--arch win64|win32] [--cwd DIR] [--shots DIR] program.exe [args...]
#   scripts/wine-run.sh [--arch win64|win32] --prepare      only makes the prefix
#
# --arch win64 (the default) runs x86_64 programs under 64-bit Wine; --arch win32 runs i686
# programs under 32-bit Wine. The prefix (WINEPREFIX, default build/wineprefix or
# build/wineprefix32 under the repository) is made on first use: Windows 98 as the reported
# version, unmanaged X11 windows (with no window manager Wine otherwise stalls about 1.5 s after
# every box), 120 dots per inch. Without DISPLAY a private Xvfb is started on a free display and
# stopped afterwards.
#
# KXD_WINE_FONTS=none makes and uses a prefix without the Windows 9x fonts and font settings
# below (default build/wineprefix-nofonts or build/wineprefix32-nofonts): what a fresh prefix
# draws with, for the tests that show the text-fit check failing there.
#
# KXD_WINE_CDROM=DEVICE makes and uses a prefix (default build/wineprefix-cdrom or
# build/wineprefix32-cdrom) with a CD-ROM drive D: whose device, what \\.\D: opens, is the file
# DEVICE: the prefix of the ASPI bridge's tests (tests/bridge), where DEVICE is the emulated
# drive's node. Wine reads the drive's settings when its server starts, so they are made with
# the prefix.
#
# KXD_WINE_SEED=PREFIX makes the prefix, when it is missing, from PREFIX (made first if need be)
# instead of from nothing: its files hard-linked, not copied, so that a test slot's prefix
# (scripts/e2e-slot.sh) costs a second, not half a minute and a gigabyte. Only the files that are
# written while tests run become the prefix's own copies: Wine writes a file with more than one
# link in place (its server the registry, every save), and the tests replace the system's ASPI
# layer; shared, one prefix's server would load a registry another one is writing (a prefix
# without its fonts, its 120 dpi...), and a program would run a DLL another test is copying.
#
# Exit code 77 (and one line saying why) when this machine's kernel cannot run 32-bit programs.
#
# Screenshots: with --shots DIR (or KXD_SHOT_DIR in the environment) the program sees
# KXD_SHOT_DIR; a file NAME.request created there is answered by a screenshot NAME.png of the
# whole screen (the test driver's `screenshot NAME` step does exactly that).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

arch=win64
cwd=""
shots="${KXD_SHOT_DIR:-}"
prepare=0
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch="$2"; shift 2 ;;
    --prepare) prepare=1; shift ;;
    --cwd) cwd="$2"; shift 2 ;;
    --shots) shots="$2"; shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || [ "$prepare" = 1 ] ||
  { echo "usage: wine-run.sh [--arch win64|win32] [--cwd DIR] [--shots DIR] program.exe [args...]" >&2; exit 2; }

program="${1:-}"
[ $# -eq 0 ] || shift
case "$program" in /*|"") ;; *) program="$PWD/$program" ;; esac

case "$arch" in
  win64) wine=/usr/lib/wine/wine64; default_prefix="$repo/build/wineprefix" ;;
  win32) wine=/usr/lib/wine/wine; default_prefix="$repo/build/wineprefix32" ;;
  *) echo "wine-run: --arch is win64 or win32, not $arch" >&2; exit 2 ;;
esac
case "${KXD_WINE_FONTS:-}" in
  "") with_fonts=1 ;;
  none) with_fonts=0; default_prefix="$default_prefix-nofonts" ;;
  *) echo "wine-run: KXD_WINE_FONTS is unset or none, not $KXD_WINE_FONTS" >&2; exit 2 ;;
esac
cdrom="${KXD_WINE_CDROM:-}"
[ -z "$cdrom" ] || default_prefix="$default_prefix-cdrom"
[ -x "$wine" ] || { echo "wine-run: $wine missing (run scripts/setup.sh)" >&2; exit 127; }
if [ "$arch" = win32 ] && ! started="$("$wine" --version 2>&1)"; then
  case "$started" in
    *"Exec format error"*)
      echo "wine-run: this kernel cannot run 32-bit programs: skipped" >&2
      exit 77 ;;
    *) echo "wine-run: $wine does not start: $started" >&2; exit 1 ;;
  esac
fi

export WINEPREFIX="${WINEPREFIX:-$default_prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH="$arch"
# No Mono/Gecko installer dialogs while the prefix is made.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree=;mshtml="

xvfb_pid=""
watch_pid=""
cleanup() {
  if [ -n "$watch_pid" ]; then kill "$watch_pid" 2>/dev/null || true; wait "$watch_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then
    # Let this prefix's Wine processes let go of the display before it goes away; programs of
    # other runs in the same prefix (on displays of their own) are not waited for long.
    timeout 5 /usr/lib/wine/wineserver -w 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  command -v Xvfb >/dev/null || { echo "wine-run: Xvfb missing (run scripts/setup.sh)" >&2; exit 127; }
  fifo="$(mktemp -u /tmp/wine-run-display.XXXXXX)"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 20 display_number <"$fifo" || { echo "wine-run: Xvfb did not start" >&2; rm -f "$fifo"; exit 1; }
  rm -f "$fifo"
  export DISPLAY=":$display_number"
fi

# Prefix creation, once, under a lock: parallel callers wait for the first one. A prefix made
# by an earlier version of these settings is made anew.
prefix_version="4: win98, unmanaged windows, 120 dpi, Windows 9x fonts"
[ "$with_fonts" = 1 ] || prefix_version="4: win98, unmanaged windows, 120 dpi, no fonts of its own"
[ -z "$cdrom" ] || prefix_version="$prefix_version, CD-ROM drive D: on $cdrom"
[ -z "${KXD_WINE_SEED:-}" ] || prefix_version="$prefix_version, linked to its seed but where written"
write_settings() {
  # Windows 98 as the reported version; unmanaged X11 windows; 120 dots per inch. The fonts a
  # Windows 9x PC has: Wine's own (fonts-wine) in the prefix's Fonts folder, its bitmap fonts
  # named where Wine looks for them (the System font of each character set among them, "System"
  # bold for Big5 in cvgasys.fon), and "MS Shell Dlg" as MS Sans Serif, from which Wine makes
  # the caption and message box fonts. Without them DejaVu Sans stands in: wider, so captions
  # are cut, and the caption buttons drawn as letters.
  echo 'REGEDIT4'
  echo
  echo '[HKEY_CURRENT_USER\Software\Wine]'
  echo '"Version"="win98"'
  echo '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]'
  echo '"Managed"="N"'
  echo '[HKEY_CURRENT_USER\Control Panel\Desktop]'
  echo '"LogPixels"=dword:00000078'
  echo '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]'
  echo '"LogPixels"=dword:00000078'
  if [ -n "$cdrom" ]; then
    echo '[HKEY_LOCAL_MACHINE\Software\Wine\Drives]'
    echo '"d:"="cdrom"'
  fi
  [ "$with_fonts" = 1 ] || return 0
  echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]'
  echo '"MS Shell Dlg"="MS Sans Serif"'
  echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Fonts]'
  for font in "$fonts"/*.fon; do
    [ -e "$font" ] || continue
    name="$(basename "$font")"
    echo "\"${name%.fon}\"=\"$name\""
  done
}
fonts=/usr/share/wine/fonts
mkdir -p "$(dirname "$WINEPREFIX")"
ready="$WINEPREFIX/.kxd-ready"
if [ "$(cat "$ready" 2>/dev/null)" != "$prefix_version" ]; then
  exec 9>"$WINEPREFIX.lock"
  flock 9
  seed="${KXD_WINE_SEED:-}"
  if [ -n "$seed" ] && [ "$(cat "$ready" 2>/dev/null)" != "$prefix_version" ]; then
    # The seed's own drive D: is the device named after it as this prefix's is after this one.
    KXD_WINE_SEED="" KXD_WINE_CDROM="${cdrom:+${cdrom/#$WINEPREFIX/$seed}}" WINEPREFIX="$seed" \
      bash "$repo/scripts/wine-run.sh" --arch "$arch" --prepare
    rm -rf "$WINEPREFIX"
    # The folders linked, the files beside them (the registry) copied: never linked, not even
    # for a moment, or the seed's server could write into this prefix's copy.
    mkdir "$WINEPREFIX"
    for entry in "$seed"/* "$seed"/.[!.]*; do
      if [ -d "$entry" ] && [ ! -L "$entry" ]; then
        cp -al "$entry" "$WINEPREFIX/"
      else
        cp -pP "$entry" "$WINEPREFIX/"
      fi
    done
    rm -f "$ready" "$WINEPREFIX/kxd-settings.reg"
    for file in "$WINEPREFIX"/drive_c/windows/*.ini "$WINEPREFIX"/drive_c/windows/sys*/wnaspi32.dll; do
      [ -f "$file" ] || continue
      cp -p "$file" "$file.own" && mv -f "$file.own" "$file"
    done
    if [ -n "$cdrom" ]; then
      ln -sfn "$WINEPREFIX/cdrom" "$WINEPREFIX/dosdevices/d:"
      ln -sfn "$cdrom" "$WINEPREFIX/dosdevices/d::"
    fi
    echo "$prefix_version" >"$ready"
  fi
  if [ "$(cat "$ready" 2>/dev/null)" != "$prefix_version" ]; then
    echo "wine-run: creating Wine prefix $WINEPREFIX (about half a minute)" >&2
    [ -d "$fonts" ] || { echo "wine-run: $fonts missing (run scripts/setup.sh)" >&2; exit 127; }
    rm -rf "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1
    if [ "$with_fonts" = 1 ]; then
      mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
      cp "$fonts"/*.ttf "$fonts"/*.fon "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
    write_settings >"$WINEPREFIX/kxd-settings.reg"
    "$wine" regedit /S "Z:${WINEPREFIX//\//\\}\\kxd-settings.reg" >/dev/null 2>&1
    if [ -n "$cdrom" ]; then
      # D:\ is an empty folder, \\.\D: the device.
      mkdir -p "$WINEPREFIX/cdrom"
      ln -sfn "$WINEPREFIX/cdrom" "$WINEPREFIX/dosdevices/d:"
      ln -sfn "$cdrom" "$WINEPREFIX/dosdevices/d::"
    fi
    # The settings reach the registry files when the server ends.
    /usr/lib/wine/wineserver -w
    echo "$prefix_version" >"$ready"
  fi
  flock -u 9
  exec 9>&-
fi
[ "$prepare" = 0 ] || exit 0

if [ -n "$shots" ]; then
  mkdir -p "$shots"
  shots="$(cd "$shots" && pwd)"
  export KXD_SHOT_DIR="$shots"
  (
    while :; do
      for request in "$shots"/*.request; do
        [ -e "$request" ] || continue
        name="${request%.request}"
        import -display "$DISPLAY" -window root "$name.tmp.png" 2>/dev/null &&
          mv -f "$name.tmp.png" "$name.png"
        rm -f "$request"
      done
      sleep 0.1
    done
  ) &
  watch_pid=$!
fi

if [ -n "$cwd" ]; then cd "$cwd"; fi
set +e
"$wine" "$program" "$@"
status=$?
set -e
exit "$status"
