#!/usr/bin/env python3
"""kxdflash's own cost, measured from outside the process (the medians of RUNS runs):

- a whole flash (33 transfers, 512 KiB moved and compared, the flasher file read and checked)
  against the emulated drive answering at once: the process's CPU time, user and system, from
  its start to its end, which also holds the emulated drive's own work inside the process (an
  upper bound of the program's own), and its wall time less the waits it is told to make (the
  commit clock's one second);
- kxdflash scan with no devices: its wall time.

  kxdflash_bench.py KXDFLASH PRELOAD WORK [RUNS]
"""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time

program, preload, work = sys.argv[1:4]
runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
os.makedirs(os.path.join(work, "dev"), exist_ok=True)
os.makedirs(os.path.join(work, "none"), exist_ok=True)
open(os.path.join(work, "dev", "sr0"), "w").close()
with open(os.path.join(work, "bus.txt"), "w") as f:
    f.write("device 0:1 kxd revision=KV80 commit-ms=0\n")
subprocess.run([sys.executable, os.path.join(repo, "tests/console/make_template.py"),
                os.path.join(work, "W9XKVXXXX.EXE")], check=True)
images = os.path.join(repo, "tests/e2e/builder_images")
subprocess.run([program, "build", "W9XKVXXXX.EXE", os.path.join(images, "KV81.BIN"),
                os.path.join(images, "KV05.BIN")], cwd=work, check=True, stdout=subprocess.DEVNULL)


# The kernel's own count of the process's CPU time where perf may read it (to the nanosecond),
# else what the kernel accounts at its ticks.
PERF = subprocess.run(["perf", "stat", "-x,", "-e", "task-clock", "true"], capture_output=True,
                      text=True).returncode == 0 if shutil.which("perf") else False


def measure(arguments, environment, cpu_only=False):
    """CPU and wall time in ms; with perf the wall time holds perf's own (taken apart)."""
    command = [program] + arguments
    if PERF and cpu_only:
        command = ["perf", "stat", "-x,", "-e", "task-clock", "-o", os.path.join(work, "perf")] + command
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    done = subprocess.run(command, cwd=work, env=environment, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        raise SystemExit(f"kxdflash {' '.join(arguments)} ended with {done.returncode}")
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if PERF and cpu_only:
        with open(os.path.join(work, "perf")) as f:
            cpu = next(float(l.split(",")[0]) for l in f if "task-clock" in l) / 1000
    return cpu * 1000, wall * 1000


drive = dict(os.environ, KXDFLASH_DEVICE_DIR=os.path.join(work, "dev"),
             KXD_SG_DEVICE=os.path.join(work, "dev", "sr0"),
             KXD_SG_SCENARIO=os.path.join(work, "bus.txt"),
             LD_PRELOAD=os.path.join(preload, "$LIB", "libkxdsg.so"))
flash = ["flash", "W9XKV8105.EXE", "--yes"]
cpu = statistics.median(measure(flash, drive, cpu_only=True)[0] for _ in range(runs))
wall = statistics.median(measure(flash, drive)[1] for _ in range(runs)) - 1000
empty = dict(os.environ, KXDFLASH_DEVICE_DIR=os.path.join(work, "none"))
scans = [measure(["scan"], empty)[1] for _ in range(runs)]
print(f"kxdflash flash, CPU (with the emulated drive's own)  {cpu:8.2f} ms")
print(f"kxdflash flash, wall time less the specified waits   {wall:8.2f} ms")
print(f"kxdflash scan with no devices, wall time             {statistics.median(scans):8.2f} ms")
