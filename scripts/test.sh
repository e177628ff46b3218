#!/usr/bin/env bash
# Builds all six presets and runs every test: the unit tests (plain and under
# AddressSanitizer/UBSan), the fuzz targets (about 15 s each), the checks of the Windows 9x
# release (instructions, imports, size, reproducible build), the end-to-end tests of the real
# window under Xvfb (the i686 release under 32-bit Wine and the x86_64 build under 64-bit Wine),
# and the command-line flasher against the emulated drive on Linux (x86_64 and i386) and under
# both Wine builds.
#
# The Windows suites mostly wait (for the simulated drives' latencies, the program's time limits
# and Wine), so they start as soon as the two Windows presets are built and run side by side,
# each its own tests three at a time (in Wine prefix slots of their own), while the Linux
# presets are built beside them at a lower priority and their light suites follow. The fuzz
# targets, which keep every processor busy, run alone at the end, so that the windows under Wine
# never share the machine with them. Each suite's output follows when all are done.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
phase() { printf '== %s (%d:%02d)\n' "$1" $(((SECONDS - start) / 60)) $(((SECONDS - start) % 60)); }

phase "build win32, win64"
bash scripts/build.sh win32 win64

phase "formatting"
find src sim tests tools layers \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 |
    xargs -0 clang-format --dry-run --Werror

phase "Windows executables"
bash scripts/check-binaries.sh build/win32 build/win64
bash scripts/check-reproducible.sh

if ! started="$(/usr/lib/wine/wine --version 2>&1)" && [[ "$started" == *"Exec format error"* ]]; then
    echo "this kernel cannot run 32-bit programs: the i686 end-to-end tests are skipped"
fi
logs="build/test-logs"
rm -rf "$logs" && mkdir -p "$logs"
# lane JOBS PRESET...: the presets' suites one after the other, JOBS tests at a time.
lane() {
    local jobs="$1" failed=0
    shift
    for preset in "$@"; do
        ctest --preset "$preset" -j"$jobs" >"$logs/$preset.log" 2>&1 || failed=1
    done
    return $failed
}
status=0
phase "tests win32 beside win64; builds of host, host-asan, linux-i386, fuzz beside them"
lane 3 win32 & win32=$!
lane 3 win64 & win64=$!
if nice -n 10 bash scripts/build.sh host host-asan linux-i386 fuzz >"$logs/build.log" 2>&1; then
    phase "tests host-asan, host, linux-i386"
    lane "$(nproc)" host-asan host linux-i386 || status=1
else
    cat "$logs/build.log"
    status=1
fi
wait "$win32" || status=1
wait "$win64" || status=1
if [ -f build/fuzz/CMakeCache.txt ]; then
    phase "tests fuzz"
    lane "$(nproc)" fuzz || status=1
fi
for preset in host host-asan linux-i386 fuzz win32 win64; do
    echo "== tests $preset"
    cat "$logs/$preset.log" 2>/dev/null || echo "(not run)"
done
phase "done"
exit $status
