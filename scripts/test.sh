#!/usr/bin/env bash
# Builds all five presets and runs every test: the unit tests (plain and under
# AddressSanitizer/UBSan), the fuzz targets (about 15 s each), the checks of the Windows 9x
# release (instructions, imports, size, reproducible build), and the end-to-end tests of the
# real window under Xvfb: the i686 release under 32-bit Wine and the x86_64 build under 64-bit
# Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh

echo "== formatting"
find src sim tests tools layers \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 |
    xargs -0 clang-format --dry-run --Werror

echo "== Windows executables"
bash scripts/check-binaries.sh build/win32 build/win64
bash scripts/check-reproducible.sh

status=0
for preset in host host-asan fuzz win32 win64; do
    echo "== tests $preset"
    if [ "$preset" = win32 ] && ! started="$(/usr/lib/wine/wine --version 2>&1)" &&
        [[ "$started" == *"Exec format error"* ]]; then
        echo "this kernel cannot run 32-bit programs: the i686 end-to-end tests are skipped"
    fi
    ctest --preset "$preset" -j"$(nproc)" || status=1
done
exit $status
