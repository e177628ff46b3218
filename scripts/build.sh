#!/usr/bin/env bash
# Installs what is missing, then configures and builds the given presets (default: all six).
# The win32 preset first gets the i486 runtime of the Windows 9x release (built once).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(host host-asan linux-i386 fuzz win32 win64)
for preset in "${presets[@]}"; do
    if [ "$preset" = win32 ]; then
        bash scripts/build-runtime.sh
    fi
    echo "== build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$(nproc)"
done
