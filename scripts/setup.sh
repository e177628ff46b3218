#!/usr/bin/env bash
# Installs every Debian package that building and testing need. Idempotent; run as root
# (or through sudo) on Debian 12.
set -euo pipefail

packages=(
  cmake make g++ ninja-build libgtest-dev libbenchmark-dev clang-format
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  # The GCC sources the i486 runtime of the Windows 9x release is built from, and what their
  # configuration needs.
  gcc-12-source libgmp-dev libmpfr-dev libmpc-dev
  wine64 wine wine32:i386 fonts-wine
  # The emulated drive preloaded into 32-bit Wine is built for i386 beside x86_64.
  gcc-multilib g++-multilib
  xvfb x11-utils imagemagick
  python3
  # The fuzz targets: clang's libFuzzer with its sanitizers.
  clang libclang-rt-14-dev
)

as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

# 32-bit Wine (for the i686 release) comes from the i386 architecture beside amd64.
need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ] && [ "$need_update" = 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

"${as_root[@]}" apt-get update -q
[ ${#missing[@]} -eq 0 ] ||
  "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
