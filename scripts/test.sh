#!/usr/bin/env bash
# Builds all six presets and runs every test: the unit tests (plain and under
# AddressSanitizer/UBSan), the fuzz targets (about 15 s each), the checks of the Windows 9x
# release (instructions, imports, size, reproducible build), the end-to-end tests of the real
# window under Xvfb (the i686 release under 32-bit Wine and the x86_64 build under 64-bit Wine),
# and the command-line flasher against the emulated drive on Linux (x86_64 and i386) and under
# both Wine builds. The suites that keep every processor busy (the sanitizers' unit tests, the
# fuzz targets) run alone; the light Linux suites (mostly waiting for the emulated drive) run
# beside the Wine suites, each suite's own tests as many at a time as there are processors, so
# that the windows under Wine never share the machine with heavy work. Each suite's output
# follows when all are done.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh

echo "== formatting"
find src sim tests tools layers \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 |
    xargs -0 clang-format --dry-run --Werror

echo "== Windows executables"
bash scripts/check-binaries.sh build/win32 build/win64
bash scripts/check-reproducible.sh

if ! started="$(/usr/lib/wine/wine --version 2>&1)" && [[ "$started" == *"Exec format error"* ]]; then
    echo "this kernel cannot run 32-bit programs: the i686 end-to-end tests are skipped"
fi
logs="build/test-logs"
rm -rf "$logs" && mkdir -p "$logs"
lane() {
    local failed=0
    for preset in "$@"; do
        ctest --preset "$preset" -j"$(nproc)" >"$logs/$preset.log" 2>&1 || failed=1
    done
    return $failed
}
echo "== tests host-asan; host, linux-i386 beside win32, win64; then fuzz"
status=0
lane host-asan || status=1
lane host linux-i386 & linux=$!
lane win32 win64 & wine=$!
wait "$linux" || status=1
wait "$wine" || status=1
lane fuzz || status=1
for preset in host host-asan linux-i386 fuzz win32 win64; do
    echo "== tests $preset"
    cat "$logs/$preset.log"
done
exit $status
