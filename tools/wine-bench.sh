#!/bin/sh
# Builds one benchmark driver of the MinGW tree and runs it under Wine on a private Xvfb,
# printing what it prints. Shared by the Wine benchmarks of tools/bench.
#   tools/wine-bench.sh TARGET EXE NAME [ARGS...]
#     TARGET  the ninja target of the driver          (startup_bench)
#     EXE     the driver, relative to the build tree   (startup/startup_bench.exe)
#     NAME    a name for the run                       (startup-items)
#     ARGS    passed on to the driver
#   BENCH_BUILD_DIR=DIR                      another MinGW build tree
#   BENCH_WINEPREFIX=DIR                     another Wine prefix (default: the build tree's)
set -e
target=$1 exe=$2 name=$3
shift 3
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/win64}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT
ninja -j2 -C "$build" "$target" >"$out" 2>&1 || { cat "$out"; exit 1; }
prefix=${BENCH_WINEPREFIX:-$build/wineprefix}
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
rc=0
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" sh -c '
  root=$1 prefix=$2; shift 2
  "$root/tools/wine-run.sh" --prefix "$prefix" "$@"; rc=$?
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
  exit $rc' "$name" "$root" "$prefix" "$build/$exe" "$@" >"$out" || rc=$?
tr -d '\r' <"$out"
exit $rc
