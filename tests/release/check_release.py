#!/usr/bin/env python3
"""Checks what the Windows 9x release and every flasher made from it must be.

  check_release.py instructions FILE [--map MAP]
      No instruction that an i486 lacks in the code: CMOV, FCMOV, FCOMI/FUCOMI, RDTSC, CMPXCHG8B,
      CPUID, RDRAND/RDSEED, MMX/SSE registers and the like. FILE is an executable, a DLL or an
      object file. With the linker's map file only code is disassembled (the linker also places
      exception tables and constructor lists in .text) and each offender is named by its function.
  imports FILE --allowed LIST
      Every imported function is one that Windows 95 (common controls 4.00), 98 and ME export and
      implement, by the reviewed LIST; the image asks for no Windows later than 4.0.
  shipped FILE
      Stripped (no symbols, no debug sections), no link time stamp, and no larger than a 1.44 MB
      floppy disk.
  flasher TEMPLATE OUTPUT
      Writes a flasher made from TEMPLATE the way the builder makes one: both image slots filled
      (with a generated pattern), everything else the template's bytes.

Exit code 0 when the check passes, 1 when it finds something, 2 for bad usage.
"""
import argparse
import bisect
import re
import subprocess
import sys

OBJDUMP = "i686-w64-mingw32-objdump"
CXXFILT = "i686-w64-mingw32-c++filt"
FLOPPY = 1457664

# Mnemonics an i486 does not execute (Pentium and later), and registers it does not have.
FORBIDDEN = re.compile(
    r"^(?:cmov\w+|fcmov\w+|f(?:u)?comip?|rdtsc|rdtscp|rdpmc|rdmsr|wrmsr|cpuid|cmpxchg8b"
    r"|cmpxchg16b|rdrand|rdseed|sysenter|sysexit|syscall|sysret|prefetch\w*|[lms]fence"
    r"|clflush\w*|movnt\w*|emms|femms|nop[wl])\b")
WIDE_REGISTER = re.compile(r"%[xyz]?mm\d")


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def code_ranges_from_map(path):
    """Code of the output section .text, as (start, end) runs, and the named addresses in it."""
    ranges, names = [], []
    in_text = False
    pending = None
    with open(path, encoding="latin-1") as lines:
        for line in lines:
            if re.match(r"^\.\S+", line):
                in_text = line.split()[0] == ".text"
                pending = None
                continue
            if not in_text:
                continue
            # An input section: its name, with its address and size on the same line or on
            # the next one when the name is long.
            m = re.match(r"^ (\.\S+)(?:\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+\S+)?\s*$", line)
            if m:
                pending, address = m.group(1), m.groups()[1:]
            else:
                m = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+\S+\s*$", line)
                address = m.groups() if m and pending is not None else (None, None)
            if address[0] is not None:
                start, size = int(address[0], 16), int(address[1], 16)
                if pending.startswith((".text", ".init")) and size:
                    ranges.append((start, start + size, pending))
                pending = None
            if m:
                continue
            m = re.match(r"^\s+0x([0-9a-f]+)\s+(\S+)\s*$", line)
            if m:
                names.append((int(m.group(1), 16), m.group(2)))
    ranges.sort()
    # Neighbouring code sections (with alignment padding between them) form one run.
    runs = []
    for start, end, section in ranges:
        if section.startswith(".text$"):
            names.append((start, section[len(".text$"):]))
        if runs and start - runs[-1][1] < 16:
            runs[-1][1] = max(runs[-1][1], end)
        else:
            runs.append([start, end])
    names.sort()
    return [tuple(r) for r in runs], names


def demangle(name):
    name = name.lstrip("_") if name.startswith("__Z") else name
    try:
        return run(CXXFILT, "_" + name if name.startswith("Z") else name).strip()
    except (OSError, subprocess.CalledProcessError):
        return name


def disassemble(path, runs):
    """Instructions as (address, text, label): one objdump pass per run of code; the label is
    the symbol objdump shows the instruction under, where the file still has symbols."""
    passes = [[]] if runs is None else [
        ["--start-address=0x%x" % s, "--stop-address=0x%x" % e] for s, e in runs]
    for extra in passes:
        out = run(OBJDUMP, "-d", "--no-show-raw-insn", *extra, path)
        label = None
        for line in out.splitlines():
            m = re.match(r"^[0-9a-f]+ <([^>]+)>:$", line)
            if m:
                label = m.group(1)
                continue
            m = re.match(r"^\s*([0-9a-f]+):\s+(\S.*)$", line)
            if m:
                yield int(m.group(1), 16), m.group(2).strip(), label


def check_instructions(args):
    runs, names = (None, [])
    if args.map:
        runs, names = code_ranges_from_map(args.map)
        if not runs:
            print(f"{args.map}: no code found in the map's .text", file=sys.stderr)
            return 2
    starts = [a for a, _ in names]
    offenders = []
    count = 0
    for address, text, label in disassemble(args.file, runs):
        count += 1
        if FORBIDDEN.match(text) or WIDE_REGISTER.search(text):
            at = bisect.bisect_right(starts, address) - 1
            if at >= 0:
                where = "%s+0x%x" % (demangle(names[at][1]), address - names[at][0])
            else:
                where = demangle(label) if label and not label.startswith(".") else "?"
            offenders.append((address, text, where))
    for address, text, where in offenders:
        print(f"{args.file}: 0x{address:08x}  {text:<40}  in {where}")
    print(f"{args.file}: {count} instructions, {len(offenders)} beyond the i486")
    return 1 if offenders else 0


def read_allowed(path):
    """{DLL: {function: group}} where group is '' (allowed), 'stub' or 'absent'."""
    table = {}
    dll, group = None, ""
    with open(path, encoding="utf-8") as lines:
        for raw in lines:
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            m = re.match(r"^\[([^:\]]+)(?::(\w+))?\]$", line)
            if m:
                dll, group = m.group(1).upper(), m.group(2) or ""
                continue
            if dll is None:
                raise SystemExit(f"{path}: entry {line!r} before any [DLL] section")
            table.setdefault(dll, {})[line.split()[0]] = group
    return table


def read_imports(path):
    dump = run(OBJDUMP, "-p", path)
    imports, dll = [], None
    for line in dump.splitlines():
        m = re.match(r"^\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).upper()
            continue
        m = re.match(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if m and dll:
            imports.append((dll, m.group(1)))
        elif line.strip() == "" and dll and imports and imports[-1][0] == dll:
            dll = None
    versions = {}
    for key in ("MajorOSystemVersion", "MajorSubsystemVersion", "MinorSubsystemVersion"):
        m = re.search(rf"^{key}\s+(\d+)", dump, re.M)
        versions[key] = int(m.group(1)) if m else None
    return imports, versions


def check_imports(args):
    table = read_allowed(args.allowed)
    imports, versions = read_imports(args.file)
    problems = []
    for dll, function in imports:
        group = table.get(dll, {}).get(function)
        if group is None:
            problems.append(f"{dll} {function}: not in the reviewed list")
        elif group == "stub":
            problems.append(f"{dll} {function}: exists on Windows 9x but only fails there")
        elif group == "absent":
            problems.append(f"{dll} {function}: Windows 95 does not have it")
    if (versions["MajorSubsystemVersion"] or 0) > 4 or \
            (versions["MajorSubsystemVersion"] == 4 and versions["MinorSubsystemVersion"]):
        problems.append(f"subsystem version {versions['MajorSubsystemVersion']}."
                        f"{versions['MinorSubsystemVersion']}: Windows 95 runs 4.0 at most")
    if (versions["MajorOSystemVersion"] or 0) > 4:
        problems.append(f"operating system version {versions['MajorOSystemVersion']}")
    for problem in problems:
        print(f"{args.file}: {problem}")
    dlls = sorted({d for d, _ in imports})
    print(f"{args.file}: {len(imports)} imported functions from {', '.join(dlls)}; "
          f"{len(problems)} problems")
    return 1 if problems else 0


def check_shipped(args):
    dump = run(OBJDUMP, "-p", "-h", args.file)
    problems = []
    size = len(open(args.file, "rb").read())
    if size > FLOPPY:
        problems.append(f"{size} bytes: more than a 1.44 MB floppy ({FLOPPY})")
    if re.search(r"^\s*\d+\s+\.debug", dump, re.M):
        problems.append("debug sections present")
    if "symbols stripped" not in dump:
        problems.append("symbol table present")
    m = re.search(r"^Time/Date\s+(.*)$", dump, re.M)
    if m and "1970" not in m.group(1):
        problems.append(f"link time stamp {m.group(1).strip()}")
    for problem in problems:
        print(f"{args.file}: {problem}")
    print(f"{args.file}: {size} bytes, {FLOPPY - size} to spare on a floppy; "
          f"{len(problems)} problems")
    return 1 if problems else 0


def make_flasher(args):
    data = bytearray(open(args.template, "rb").read())
    key = b"BIN-START-ADDR\0"
    at = data.find(key)
    if at < 0:
        print(f"{args.template}: no start keyword", file=sys.stderr)
        return 1
    slot = at + len(key)
    images = bytes((i * 7 + (i >> 11)) & 0xFF for i in range(2 * 262144))
    data[slot:slot + len(images)] = images
    open(args.output, "wb").write(data)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("instructions")
    p.add_argument("file")
    p.add_argument("--map")
    p = sub.add_parser("imports")
    p.add_argument("file")
    p.add_argument("--allowed", required=True)
    p = sub.add_parser("shipped")
    p.add_argument("file")
    p = sub.add_parser("flasher")
    p.add_argument("template")
    p.add_argument("output")
    args = parser.parse_args()
    return {"instructions": check_instructions, "imports": check_imports,
            "shipped": check_shipped, "flasher": make_flasher}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
