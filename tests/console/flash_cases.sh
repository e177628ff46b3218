#!/usr/bin/env bash
# kxdflash against the emulated drive (sim/sgdevice), one case a run: on Linux through the real
# SG_IO ioctl on an emulated CD-ROM node, or the Windows build under Wine through Wine's own SCSI
# pass-through to the same emulated device. Each case checks the exit status, a message, and
# what the drive received; the sessions the Windows 9x program is kept for
# (tests/replay/SESSION) are compared with the drive's trace request for request
# (tests/bridge/check.py).
#
#   flash_cases.sh linux|win64|win32 PROGRAM PRELOAD WORK CASE
#
# PRELOAD holds lib/<arch>-linux-gnu/libkxdsg.so. Under Wine the prefix (WINEPREFIX) has the
# emulated node as the device of its CD-ROM drive D:.
set -euo pipefail
mode="$1" program_file="$2" preload="$3" work="$4" case="$5"
repo="$(cd "$(dirname "$0")/../.." && pwd)"
sessions="$repo/tests/e2e/sessions"

rm -rf "$work" && mkdir -p "$work/dev" && cd "$work"
cp "$repo"/tests/e2e/builder_images/KV81.BIN "$repo"/tests/e2e/builder_images/KV05.BIN .
export KXD_SG_SCENARIO="$work/bus.txt"
# $LIB stays as written: the loader puts the library folder of each process's kind in its place.
emulated="$preload/\$LIB/libkxdsg.so"
if [ "$mode" = linux ]; then
  : >dev/sr0
  export KXD_SG_DEVICE="$work/dev/sr0" KXDFLASH_DEVICE_DIR="$work/dev"
  device=dev/sr0
  # Only the program gets the emulated drive (the script's own tools may be of another kind).
  program() { env LD_PRELOAD="$emulated" "$program_file" "$@"; }
else
  export LD_PRELOAD="$emulated"
  : "${WINEPREFIX:?the prefix}"
  [ -e "$WINEPREFIX.cdrom" ] || : >"$WINEPREFIX.cdrom"
  export KXD_SG_DEVICE="$WINEPREFIX.cdrom" KXD_WINE_CDROM="$WINEPREFIX.cdrom"
  device=D:
fi

# kxdflash ARGS...: the exit status in $status, the outputs in out.txt and err.txt.
kxdflash() {
  status=0
  if [ "$mode" = linux ]; then
    program "$@" >out.txt 2>err.txt </dev/null || status=$?
  else
    bash "$repo/scripts/wine-run.sh" --arch "$mode" --cwd "$work" "$program_file" "$@" \
      >out.txt 2>err.txt </dev/null || status=$?
    tr -d '\r' <out.txt >out.tmp && mv out.tmp out.txt
  fi
}
fail() { echo "$case: $*" >&2; echo "--- stdout" >&2; cat out.txt >&2; echo "--- stderr" >&2; cat err.txt >&2; exit 1; }
expect() { # STATUS TEXT: the exit status, and TEXT on the standard output or error
  [ "$status" = "$1" ] || fail "exit status $status, not $1"
  grep -qF -- "$2" out.txt err.txt || fail "no \"$2\""
}
sent() { grep -c '^submit ' trace.txt 2>/dev/null || true; }
same_as() { python3 "$repo/tests/bridge/check.py" "$repo/tests/replay/$1" "$work" >/dev/null || fail "trace differs from $1"; }
scenario() { cp "$sessions/$1.bus" bus.txt; }

# A template that the tests own, and the flasher built from it by the program itself.
python3 "$repo/tests/console/make_template.py" W9XKVXXXX.EXE
kxdflash build W9XKVXXXX.EXE KV81.BIN KV05.BIN
expect 0 "Build W9XKV8105.EXE ok!"
flasher=W9XKV8105.EXE

case "$case" in
  flash_completed|verify_fail|sense_error|disc_present|commit_timeout)
    # The sessions of the Windows 9x program, request for request; the completed one is
    # recorded and then replayed by the simulated drive (Linux).
    scenario "$case"
    kxdflash flash "$flasher" "$device" --yes --allow-older --record rec.txt
    declare -A want=([flash_completed]="0 Flash Completed." [verify_fail]="7 Verify fail!"
      [sense_error]="6 SenseCode: 04 44 00" [disc_present]="6 Remove disc, befor to do the flash task."
      [commit_timeout]="8 Flash timeout !")
    expect "${want[$case]%% *}" "${want[$case]#* }"
    same_as "$case"
    grep -q '^request 1 .* cdb=12\.' rec.txt || fail "nothing recorded"
    if [ "$mode" = linux ] && [ "$case" = flash_completed ]; then
      printf 'replay rec.txt\ntrace replay-trace.txt\n' >replay.bus
      kxdflash --simulate replay.bus flash "$flasher" --yes
      expect 0 "Flash Completed."
      ! grep -q replay-error replay-trace.txt || fail "the replay went another way"
    fi ;;
  no_answer)
    # A drive that stops answering: TEST UNIT READY gets no answer in its ten seconds.
    printf 'device 0:1 kxd revision=KV80\nfault 0:1 00 never\ntrace trace.txt\n' >bus.txt
    kxdflash flash "$flasher" "$device" --yes
    expect 8 "did not answer TEST UNIT READY in 10 seconds"
    [ "$(grep -c 'cdb=3B' trace.txt || true)" = 0 ] || fail "a block was written" ;;
  damaged)
    # One byte of the image changed: refused before anything reaches the drive.
    scenario flash_completed
    python3 -c "import sys; d=bytearray(open(sys.argv[1],'rb').read()); d[len(d)//2]^=1; open(sys.argv[1],'wb').write(d)" "$flasher"
    kxdflash flash "$flasher" "$device" --yes
    expect 11 "is damaged"
    [ "$(sent)" = 0 ] || fail "requests reached the drive" ;;
  declined)
    # No terminal to ask at and no --yes: the question counts as No; only INQUIRY went out.
    scenario flash_completed
    kxdflash flash "$flasher" "$device"
    expect 5 "Update FW:KV80 to FW:KV81 ?"
    [ "$(sent)" = 1 ] || fail "more than INQUIRY went out" ;;
  simulate)
    # A rehearsal with no device: the whole flash against the simulated drive, in its trace.
    printf 'device 0:1 kxd revision=KV80 commit-ms=1000\ntrace sim-trace.txt\n' >sim.bus
    kxdflash flash "$flasher" --simulate sim.bus --yes
    expect 0 "Flash Completed."
    [ "$(grep -c '^submit ' sim-trace.txt)" = 37 ] || fail "the simulated drive saw other requests" ;;
  scan)
    scenario flash_completed
    kxdflash scan
    expect 0 "HA#0 - ID#1 :  QUORVEN KXD-7316        KV80  (supported)" ;;
  interrupt_*)
    # Ctrl-C while the drive is slow to answer one command: before the first block a clean
    # stop, while blocks go out or come back the block in hand finishes and nothing more is
    # sent, during the commit it is refused. Under Wine the interrupt (SIGINT to the program's
    # process) reaches the program as the console's Ctrl-C event.
    phase="${case#interrupt_}"
    declare -A slow=([before]="1B occurrence=1" [writing]="3B occurrence=5"
      [verifying]="3C occurrence=3" [commit]="3B occurrence=17")
    printf 'device 0:1 kxd revision=KV80 commit-ms=1500\nfault 0:1 %s delay=1500\ntrace trace.txt\n' \
      "${slow[$phase]}" >bus.txt
    op="${slow[$phase]%% *}" n="${slow[$phase]##*=}"
    if [ "$mode" = linux ]; then
      env LD_PRELOAD="$emulated" "$program_file" flash "$flasher" "$device" --yes \
        >out.txt 2>err.txt </dev/null & pid=$!
    else
      bash "$repo/scripts/wine-run.sh" --arch "$mode" --cwd "$work" "$program_file" flash \
        "$flasher" "$device" --yes >out.txt 2>err.txt </dev/null & pid=$!
    fi
    for _ in $(seq 200); do
      seen=$(grep -c "^submit .* cdb=$op " trace.txt 2>/dev/null || true)
      [ "${seen:-0}" -ge "$n" ] && break
      sleep 0.05
    done
    # Under Wine the program is the process that runs the executable's path, not the script.
    [ "$mode" = linux ] && target=$pid || target=$(pgrep -f "^$program_file flash" | head -n 1)
    kill -INT "$target"
    status=0 && wait "$pid" || status=$?
    [ "$mode" = linux ] || { tr -d '\r' <out.txt >out.tmp && mv out.tmp out.txt; }
    writes=$(grep -c '^submit .* cdb=3B .* 00 00 00 status' trace.txt || true)
    commits=$(grep -c '^submit .* cdb=3B .* 80 00 00 status' trace.txt || true)
    case "$phase" in
      before) expect 9 "Interrupted: nothing was written"; [ "$writes$commits" = 00 ] ;;
      writing) expect 9 "no commit request was sent"; [ "$writes$commits" = 50 ] ;;
      verifying) expect 9 "the drive keeps its old firmware"; [ "$(grep -c 'cdb=3C' trace.txt)$commits" = 60 ] ;;
      commit) expect 0 "Do not interrupt"; grep -q "Flash Completed." out.txt ;;
    esac || fail "the drive received other requests" ;;
  busy)
    # A second run on the same drive while the first holds it (Linux).
    printf 'device 0:1 kxd revision=KV80\nfault 0:1 1B occurrence=1 delay=2000\ntrace trace.txt\n' >bus.txt
    env LD_PRELOAD="$emulated" "$program_file" flash "$flasher" "$device" --yes \
      >first.txt 2>&1 </dev/null & pid=$!
    for _ in $(seq 100); do grep -q '^submit .* cdb=1B' trace.txt 2>/dev/null && break; sleep 0.05; done
    kxdflash flash "$flasher" "$device" --yes
    expect 10 "is held by another run: process $pid (kxdflash flash $flasher"
    wait "$pid" || fail "the first run failed: $(cat first.txt)" ;;
  rawio)
    # Through a CD-ROM node without CAP_SYS_RAWIO (Linux): said before the first block.
    scenario flash_completed
    drop=()
    [ "$(id -u)" != 0 ] || drop=(setpriv --inh-caps=-sys_rawio --bounding-set=-sys_rawio)
    status=0
    "${drop[@]}" env LD_PRELOAD="$emulated" "$program_file" flash "$flasher" "$device" --yes \
      >out.txt 2>err.txt </dev/null || status=$?
    expect 3 "only for a process with CAP_SYS_RAWIO"
    [ "$(sent)" = 1 ] || fail "more than INQUIRY went out" ;;
  *) echo "unknown case $case" >&2; exit 2 ;;
esac
echo "$case: as expected"
