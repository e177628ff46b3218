#!/usr/bin/env bash
# Builds all four presets and runs every test: the unit tests (plain and under
# AddressSanitizer/UBSan), the checks on the Windows executables, and the end-to-end tests of
# the real window under 64-bit Wine and Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh

echo "== formatting"
find src sim tests tools \( -name '*.cpp' -o -name '*.h' \) -print0 |
    xargs -0 clang-format --dry-run --Werror

echo "== Windows executables"
bash scripts/check-binaries.sh build/win32 build/win64

status=0
for preset in host host-asan win64; do
    echo "== tests $preset"
    ctest --preset "$preset" -j"$(nproc)" || status=1
done
exit $status
