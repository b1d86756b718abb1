#!/bin/sh
# Times the startup list (rows shown, publisher column complete) under Wine, against main's build.
# Load: 2,000 machine Run values and 500 shortcuts (each driver makes and removes them itself),
# plus 500 program files (half signed with the throw-away test root, which is trusted for the
# run), 200 machine RunOnce values and 300 user Run values starting them, and 100 log-on tasks,
# seeded once into the prefix for both builds and removed at the end.
# Rounds (BENCH_ROUNDS, default 3) interleave the two drivers in the same prefix; each driver
# prints the median of its 5 runs, and the last lines hold the medians over the rounds:
#   main_startup_refresh_ms=N main_rows=R
#   startup_refresh_ms=N publisher_ms=M rows=R
#   BENCH_BUILD_DIR=DIR       this tree's MinGW build (default build/win64)
#   BENCH_MAIN_REF=REF        the commit compared against (default 386edb9)
#   BENCH_MAIN_BUILD=DIR      an existing MinGW build tree of that commit (default: made once
#                             in build/bench-main from `git archive REF`)
#   BENCH_WINEPREFIX=DIR      the Wine prefix (default: the build tree's)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/win64}
ref=${BENCH_MAIN_REF:-386edb9}
rounds=${BENCH_ROUNDS:-3}
toolchain=$root/cmake/mingw-w64-x86_64.cmake
export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
command -v ccache >/dev/null 2>&1 || unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
fi
ninja -j2 -C "$build" startup_bench mt_test_installer >/dev/null

main_build=${BENCH_MAIN_BUILD:-}
if [ -z "$main_build" ]; then
  src=$root/build/bench-main/src
  main_build=$root/build/bench-main/win64
  if [ "$(cat "$root/build/bench-main/ref" 2>/dev/null)" != "$ref" ]; then
    rm -rf "$root/build/bench-main"
    mkdir -p "$src"
    git -C "$root" archive "$ref" | tar -x -C "$src"
    echo "$ref" >"$root/build/bench-main/ref"
  fi
  if [ ! -f "$main_build/build.ninja" ]; then
    cmake -S "$src" -B "$main_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" >/dev/null
  fi
fi
ninja -j2 -C "$main_build" startup_bench >/dev/null

# The signed and unsigned programs: the update tests' throw-away root and signer.
material=$build/startup_bench_signing
python3 "$root/update/tests/make_signing_material.py" "$material" \
  "$build/update/mt_test_installer.exe" "Mirtak Bench Signer"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

prefix=${BENCH_WINEPREFIX:-$build/wineprefix}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
rc=0
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" sh -c '
  root=$1 prefix=$2 ours=$3 main=$4 material=$5 rounds=$6
  run() { "$root/tools/wine-run.sh" --prefix "$prefix" "$@"; }
  status=0
  run "$ours" seed "$material" || status=1
  i=1
  while [ $i -le "$rounds" ]; do
    echo "== round $i: main"
    run "$main" || status=1
    echo "== round $i: this tree"
    run "$ours" || status=1
    i=$((i + 1))
  done
  run "$ours" clean || status=1
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
  exit $status' startup-items "$root" "$prefix" "$build/startup/startup_bench.exe" \
  "$main_build/startup/startup_bench.exe" "$(winpath "$material")" "$rounds" >"$out" || rc=$?
tr -d '\r' <"$out" | grep -v '^startup_refresh_ms=\|^startup_places_ms=' || true
# The drivers' last lines, in round order: main's first in each round.
median() { sort -n | awk '{v[NR]=$1} END {if (NR) print v[int((NR+1)/2)]; else print "n/a"}'; }
finals=$(tr -d '\r' <"$out" | grep '^startup_refresh_ms=')
main_lines=$(printf '%s\n' "$finals" | awk 'NR % 2 == 1')
our_lines=$(printf '%s\n' "$finals" | awk 'NR % 2 == 0')
field() { sed -n "s/.*$1=\([0-9]*\).*/\1/p"; }
echo "main_startup_refresh_ms=$(printf '%s\n' "$main_lines" | field startup_refresh_ms | median)" \
     "main_rows=$(printf '%s\n' "$main_lines" | field rows | tail -n 1)"
echo "startup_refresh_ms=$(printf '%s\n' "$our_lines" | field startup_refresh_ms | median)" \
     "publisher_ms=$(printf '%s\n' "$our_lines" | field publisher_ms | median)" \
     "rows=$(printf '%s\n' "$our_lines" | field rows | tail -n 1)"
exit $rc
