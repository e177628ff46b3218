#!/usr/bin/env bash
# Runs the benchmarks and prints their table: on the host, the build of a flasher from the real
# template (the i686 release) against a plain copy of the same file, the CPU time of a whole
# flash and of the start-up's scan against the simulated drive in-process; under 64-bit Wine,
# the program's own time in a flash (from the Yes to "Flash Completed.", the waits the program
# is told to make taken out) against the simulated drive with no latency.
#
#   bash scripts/bench.sh [--brief]     --brief: each benchmark once (what the tests do)
set -euo pipefail
cd "$(dirname "$0")/.."

brief=0
[ "${1:-}" = "--brief" ] && brief=1

bash scripts/build.sh host win32 win64 >/dev/null
cmake --build --preset host -j"$(nproc)" --target benchmarks >/dev/null

results="build/host/bench/results.json"
args=(--benchmark_format=json --benchmark_out="$results" --benchmark_out_format=json)
if [ "$brief" = 1 ]; then
    args+=(--benchmark_min_time=0.001)
else
    args+=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
fi
KXD_BENCH_TEMPLATE="build/win32/src/app/W9XKVXXXX.EXE" build/host/bench/benchmarks "${args[@]}" \
    >/dev/null 2>&1
wine_overhead="$(bash bench/wine_flash.sh)"
wait_cpu="$(bash bench/wine_wait_cpu.sh)"

python3 - "$results" "$wine_overhead" "$wait_cpu" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
rows = {}
for b in data["benchmarks"]:
    name = b.get("run_name", b["name"]).split("/")[0]
    if b.get("aggregate_name", "median") != "median":
        continue
    scale = {"ms": 1.0, "us": 0.001, "ns": 1e-6}[b["time_unit"]]
    rows[name] = (b["real_time"] * scale, b["cpu_time"] * scale)
    if "largest_B" in b:
        heap = (b["allocs"], b["alloc_B"], b["largest_B"])
print(f"Machine: {data['context'].get('num_cpus')} CPUs at {data['context'].get('mhz_per_cpu')} MHz")
print(f"{'what':<52} {'time':>12} {'CPU':>12}")
labels = {
    "BM_BuildFlasher": "build a flasher from the i686 template",
    "BM_CopyTemplate": "copy the same template (std::filesystem::copy_file)",
    "BM_WholeFlash": "a whole flash on the host (33 transfers)",
    "BM_StartupScan": "the start-up scan of the six slots",
    "BM_SelfCheck": "a flasher's check of its own file (disk cache)",
}
for key, label in labels.items():
    if key in rows:
        real, cpu = rows[key]
        print(f"{label:<52} {real:>9.3f} ms {cpu:>9.3f} ms")
if "BM_BuildFlasher" in rows and "BM_CopyTemplate" in rows:
    print(f"{'builder / copy':<52} {rows['BM_BuildFlasher'][0] / rows['BM_CopyTemplate'][0]:>12.2f}")
print(f"{'program overhead of a flash under 64-bit Wine':<52} {sys.argv[2]:>12}")
print(f"{'processor share while a tray loads for 20 s (first 10 s)':<52} {sys.argv[3]:>12}")
if "heap" in dir():
    print(f"a flash allocates {heap[0]:.0f} blocks, {heap[1]:.0f} bytes; the largest {heap[2]:.0f} bytes")
PY
