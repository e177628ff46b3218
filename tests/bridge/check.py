#!/usr/bin/env python3
"""After a bridged session (tests/e2e/sessions, run with the ASPI bridge against the emulated
drive): what the emulated drive went through is what the simulated layer went through for the
same scenario, kept in tests/replay/SESSION.

  check.py [--recording] SESSION WORK

- The emulated drive's bus trace (WORK/trace.txt) agrees with the simulated layer's
  (SESSION/trace.txt) at the drive's slot, request for request: the same commands, data lengths
  and directions, the same outcomes and sense data. Times aside, the requests numbered anew (the
  bridge answers the slots without a drive itself), the direction in place of the flags (their
  other bits, event and posting, do not cross pass-through), and the device's own account of a
  commit aside (no traffic of the bus, as in tests/replay/check.sh).
- A firmware image the drive took at a commit (save-firmware) is the image of the revision it
  reports from then on (WORK/REVISION.BIN).
- With --recording: the recording layer's recording of the bridged session (WORK/KXDREC00.TXT
  and .BIN) is the one kept in SESSION, times aside, except for the status of requests to slots
  without a drive (the bridge has one host adapter, so the others are 81h, not the simulated
  bus's 82h) and GetASPI32SupportInfo's adapter count.

Exit code 0 when everything agrees, 1 (saying what differs) when not.
"""
import difflib
import os
import re
import sys

BUS_LINE = re.compile(
    r"^(?P<kind>submit|done|dropped) #(?P<n>\d+) t=-?\d+ slot=(?P<slot>\S+) flags=(?P<flags>[0-9A-F]{2})"
    r" len=(?P<len>\d+) cdb=(?P<cdb>[0-9A-F ]+?) (?P<outcome>status=.*?)(?: due=-?\d+)?$")
COMMIT_LINE = re.compile(r"^commit #(?P<n>\d+) t=-?\d+ slot=(?P<slot>\S+) (?P<revision>revision=.*)$")

# Operation codes whose data goes to the device, where the flags name no direction (as
# aspi::trace::directionOf decides).
DATA_OUT = {0x0A, 0x15, 0x1D, 0x2A, 0x2E, 0x3B, 0x55, 0xAA}


def direction(flags, length, opcode):
    if length == 0:
        return "none"
    bits = flags & 0x18
    if bits == 0x08:
        return "in"
    if bits == 0x10:
        return "out"
    return "out" if opcode in DATA_OUT else "in"


def bus_trace(path, slot=None):
    """The trace's requests at `slot` (the first line's when None), normalised; the slot; the
    revisions the drive reports after each commit."""
    lines, numbers, revisions = [], {}, []
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.rstrip("\n")
            m = BUS_LINE.match(line) or COMMIT_LINE.match(line)
            if not m:
                raise SystemExit(f"{path}: not a line of a bus trace: {line}")
            slot = slot or m["slot"]
            if m["slot"] != slot:
                continue
            if "revision" in m.groupdict():
                revisions.append(m["revision"].split("->")[-1])
                continue
            n = numbers.setdefault(m["n"], len(numbers) + 1)
            opcode = int(m["cdb"].split()[0], 16)
            way = direction(int(m["flags"], 16), int(m["len"]), opcode)
            lines.append(f"{m['kind']} #{n} slot={slot} dir={way} len={m['len']} "
                         f"cdb={m['cdb']} {m['outcome']}")
    return lines, slot, revisions


def same(what, kept, got):
    if kept != got:
        diff = difflib.unified_diff(kept, got, "kept", "bridged", lineterm="", n=2)
        sys.stderr.write(f"{what} differs:\n" + "\n".join(list(diff)[:40]) + "\n")
        raise SystemExit(1)


def saved_firmware(work):
    """The file the scenario saves the committed image to, or None."""
    with open(os.path.join(work, "bus.txt"), encoding="latin-1") as f:
        for line in f:
            words = line.split()
            if len(words) == 2 and words[0] == "save-firmware":
                return os.path.join(work, words[1])
    return None


RECORDED = re.compile(r"^request \d+ t=\d+ end=(?:\d+|pending) cmd=02 ha=(\d+) target=(\d+) ")


def recording(path, slot):
    """The requests of a recording, times aside; off the drive's slot, their status too."""
    ha, target = slot.split(":")
    lines = []
    with open(path, encoding="latin-1") as f:
        for line in f:
            m = RECORDED.match(line)
            if not m:
                continue
            line = re.sub(r" (t|end)=\S+", r" \1=", line.rstrip("\r\n"))
            if (m[1], m[2]) != (ha, target):
                line = re.sub(r" status=\S+", " status=", line)
            lines.append(line)
    return lines


def main(argv):
    with_recording = argv[:1] == ["--recording"]
    if with_recording:
        argv = argv[1:]
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    session, work = argv

    got, slot, revisions = bus_trace(os.path.join(work, "trace.txt"))
    if not got:
        sys.stderr.write("no request reached the emulated drive\n")
        return 1
    kept, _, _ = bus_trace(os.path.join(session, "trace.txt"), slot)
    same(f"the emulated drive's trace at {slot}", kept, got)
    requests = sum(1 for line in got if line.startswith("submit"))

    firmware = saved_firmware(work)
    for revision in revisions if firmware else []:
        with open(firmware, "rb") as f, open(os.path.join(work, revision + ".BIN"), "rb") as image:
            if f.read() != image.read():
                sys.stderr.write(f"the drive took another image than {revision}.BIN\n")
                return 1
        print(f"the drive's firmware is {revision}.BIN, byte for byte")

    if with_recording:
        same("the recording of the bridged session",
             recording(os.path.join(session, "KXDREC00.TXT"), slot),
             recording(os.path.join(work, "KXDREC00.TXT"), slot))
        with open(os.path.join(session, "KXDREC00.BIN"), "rb") as a, \
                open(os.path.join(work, "KXDREC00.BIN"), "rb") as b:
            if a.read() != b.read():
                sys.stderr.write("the recording's side file differs\n")
                return 1
        print("the recording of the bridged session is the one kept")
    print(f"{os.path.basename(session)} through the bridge: {requests} requests at {slot}, "
          f"as through the simulated layer")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
