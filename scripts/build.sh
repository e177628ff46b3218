#!/usr/bin/env bash
# Installs what is missing, then configures and builds the given presets (default: all four).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(host host-asan win32 win64)
for preset in "${presets[@]}"; do
    echo "== build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$(nproc)"
done
