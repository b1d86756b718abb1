#!/bin/sh
# Times the browser add-on list (600 add-ons, 200 of each kind, with icons) under Wine.
# The last line reads "browser_show_ms=<median of 5> rows=<rows listed>"; a show is the time
# from switching to the "IE修复" tab until its list is painted.
#   tools/bench/browser-addons.sh           (builds build/win64 when needed)
#   BENCH_BUILD_DIR=DIR                      another MinGW build tree
#   BENCH_WINEPREFIX=DIR                     another Wine prefix (default: the build tree's)
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/win64}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT
ninja -j2 -C "$build" browser_bench >"$out" 2>&1 || { cat "$out"; exit 1; }
prefix=${BENCH_WINEPREFIX:-$build/wineprefix}
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
rc=0
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" sh -c '
  "$1/tools/wine-run.sh" --prefix "$2" "$3"; rc=$?
  WINEPREFIX="$2" wineserver -k >/dev/null 2>&1
  exit $rc' browser-addons "$root" "$prefix" "$build/browser/browser_bench.exe" >"$out" || rc=$?
tr -d '\r' <"$out"
exit $rc
