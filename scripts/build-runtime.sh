#!/usr/bin/env bash
# Builds the C++ runtime of the Windows 9x release for the i486: libgcc (with the exception
# unwinder, crtbegin.o and crtend.o) and libstdc++, from Debian's GCC 12 sources, compiled by
# the installed i686 MinGW-w64 cross compiler with -march=i486.
#
# Debian's own i686 runtime is built for the Pentium Pro (CMOV and friends), so a program linked
# with it dies with an illegal instruction on a 486, Pentium, Pentium MMX, K6 or Cyrix before its
# window appears. The release brings its own start-up and C library functions
# (src/platform/win32/runtime9x), so no MinGW CRT is needed beside these two libraries.
#
#   scripts/build-runtime.sh [OUTPUT-DIR]     (default build/runtime-i486)
#
# The result is OUTPUT-DIR/lib: crtbegin.o, crtend.o, libgcc.a, libstdc++.a. It is rebuilt only
# when this script changes. Takes about two and a half minutes on two cores.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
out="$(mkdir -p "${1:-$repo/build/runtime-i486}" && cd "${1:-$repo/build/runtime-i486}" && pwd)"
source_tar=/usr/src/gcc-12/gcc-12.2.0-dfsg.tar.xz
target=i686-w64-mingw32
jobs=$(nproc)

key="$(sha256sum "$0" | cut -c1-16) $(i686-w64-mingw32-gcc-win32 -dumpfullversion)"
if [ -f "$out/lib/stamp" ] && [ "$(cat "$out/lib/stamp")" = "$key" ]; then
    echo "runtime: $out/lib is up to date"
    exit 0
fi
[ -f "$source_tar" ] || { echo "runtime: $source_tar missing (run scripts/setup.sh)" >&2; exit 1; }

work="$out/work"
rm -rf "$work" "$out/lib"
mkdir -p "$work/build" "$out/lib"
log="$out/build.log"
: >"$log"
step() { echo "runtime: $*"; }
run() { "$@" >>"$log" 2>&1 || { echo "runtime: failed: $* (see $log)" >&2; tail -20 "$log" >&2; exit 1; }; }

step "unpacking the GCC sources"
tar xf "$source_tar" -C "$work" \
    --exclude='gcc-12.2.0/gcc/testsuite' --exclude='gcc-12.2.0/libstdc++-v3/testsuite/[a-z0-9_]*' \
    --exclude='gcc-12.2.0/gcc/doc' \
    --exclude='gcc-12.2.0/gcc/ada' --exclude='gcc-12.2.0/gcc/go' --exclude='gcc-12.2.0/gcc/d' \
    --exclude='gcc-12.2.0/gcc/fortran' --exclude='gcc-12.2.0/gcc/m2' \
    --exclude='gcc-12.2.0/libgo' --exclude='gcc-12.2.0/libphobos' \
    --exclude='gcc-12.2.0/libgfortran' --exclude='gcc-12.2.0/libsanitizer' \
    --exclude='gcc-12.2.0/libgomp' --exclude='gcc-12.2.0/libada' --exclude='gcc-12.2.0/gnattools' \
    --exclude='gcc-12.2.0/libobjc' --exclude='gcc-12.2.0/libquadmath' \
    --exclude='gcc-12.2.0/libitm' --exclude='gcc-12.2.0/libvtv' \
    --exclude='gcc-12.2.0/liboffloadmic' --exclude='gcc-12.2.0/libatomic' \
    --exclude='gcc-12.2.0/libssp' --exclude='gcc-12.2.0/zlib' \
    --exclude='gcc-12.2.0/libbacktrace' --exclude='gcc-12.2.0/lto-plugin' \
    --exclude='gcc-12.2.0/c++tools' --exclude='gcc-12.2.0/libcody' --exclude='gcc-12.2.0/gotools'
src="$work/gcc-12.2.0"

# Windows 95 has no working CreateSemaphoreW (wide-character functions are stubs there); the
# unwinder's and the library's mutexes take the ANSI one.
sed -i 's/CreateSemaphoreW/CreateSemaphoreA/' "$src/libgcc/config/i386/gthr-win32.c" \
    "$src/libgcc/config/i386/gthr-win32.h"
# random_device would reach rand_s in MSVCRT.DLL, which Windows 95 does not have.
sed -i '/#define _GLIBCXX_USE_CRT_RAND_S 1/d' "$src/libstdc++-v3/config/os/mingw32-w64/os_defines.h"

# Only the target-describing headers of the compiler itself are generated (options.h, tm.h,
# insn-*.h); the compiler that builds the libraries is the installed one, behind the names
# the library builds expect.
step "configuring"
cd "$work/build"
run "$src/configure" --target=$target --prefix=/runtime --with-arch=i486 --with-tune=generic \
    --enable-languages=c,c++ --disable-multilib --enable-threads=win32 \
    --disable-sjlj-exceptions --with-dwarf2 --disable-nls --disable-bootstrap --disable-lto \
    --disable-shared --enable-static --enable-fully-dynamic-string \
    --with-as=/usr/bin/$target-as --with-ld=/usr/bin/$target-ld \
    --with-sysroot=/ --with-native-system-header-dir=/usr/$target/include
run make -j"$jobs" configure-gcc all-build-libiberty all-build-libcpp
run make -j"$jobs" -C gcc options.h insn-constants.h insn-modes.h insn-flags.h tconfig.h tm.h

mkdir -p gcc/include
for tool in gcc g++; do
    cat >"gcc/x$tool" <<EOF
#!/bin/sh
# The installed cross compiler, for the i486, in place of the compiler a full build would make.
for a; do shift; case "\$a" in -B*) ;; *) set -- "\$@" "\$a" ;; esac; done
exec /usr/bin/$target-$tool-win32 -march=i486 -ffile-prefix-map=$work=/runtime "\$@"
EOF
    chmod +x "gcc/x$tool"
done
cat >gcc/libgcc.mvars <<'EOF'
GCC_CFLAGS = -O2 -DIN_GCC -DCROSS_DIRECTORY_STRUCTURE -W -Wall -Wwrite-strings -Wcast-qual -Wstrict-prototypes -Wmissing-prototypes -Wold-style-definition -isystem ./include
INHIBIT_LIBC_CFLAGS =
TARGET_SYSTEM_ROOT = /
NO_PIE_CFLAGS =
EOF

common=(--build=x86_64-pc-linux-gnu --host=$target --target=$target
        --with-cross-host=x86_64-pc-linux-gnu --disable-shared --disable-multilib --disable-nls)
export CC="$work/build/gcc/xgcc" CXX="$work/build/gcc/xg++" CFLAGS=-O2 CXXFLAGS=-O2

step "building libgcc"
mkdir -p $target/libgcc && cd $target/libgcc
run "$src/libgcc/configure" --srcdir="$src/libgcc" "${common[@]}" --with-build-libsubdir=.
run make -j"$jobs"
cp libgcc.a crtbegin.o crtend.o "$out/lib/"
cd "$work/build"

step "building libstdc++"
mkdir -p $target/libstdc++-v3 && cd $target/libstdc++-v3
# No RDRAND/RDSEED paths in random_device (an i486 has neither), no verbose terminate handler
# (a window program has no console to print to), no filesystem library.
run env ac_cv_x86_rdrand=no ac_cv_x86_rdseed=no \
    "$src/libstdc++-v3/configure" --srcdir="$src/libstdc++-v3" "${common[@]}" \
    --enable-fully-dynamic-string --disable-libstdcxx-pch --disable-libstdcxx-verbose \
    --disable-libstdcxx-filesystem-ts
run make -j"$jobs"
cp src/.libs/libstdc++.a "$out/lib/"

echo "$key" >"$out/lib/stamp"
rm -rf "$work"
step "done: $out/lib"
