#!/bin/sh
# Times the startup list (rows shown, publisher column complete) under Wine, against main's build.
# Load: 2,000 machine Run values and 500 shortcuts (each driver makes and removes them itself),
# plus 500 program files (half signed with the throw-away test root, which is trusted for the
# run), 200 machine RunOnce values and 300 user Run values starting them, 100 log-on tasks,
# 100 image hijacks, 100 Active Setup components and 300 services (made through the service
# manager, started on demand and by a trigger), seeded once into the prefix for all builds and removed at the end.
# Rounds (BENCH_ROUNDS, default 3) interleave three drivers in the same prefix (main's, the
# one-thread publisher build's, this tree's, in turn); each driver prints the median of its
# 5 runs, and the last lines hold the medians over the rounds:
#   main_startup_refresh_ms=N main_rows=R
#   base_publisher_ms=B publisher_ms=M publisher_ratio=M/B slowest_answer_ms=S (the most)
#   startup_refresh_ms=N publisher_ms=M rows=R
#   BENCH_BUILD_DIR=DIR       this tree's MinGW build (default build/win64)
#   BENCH_MAIN_REF=REF        the commit compared against (default 386edb9)
#   BENCH_MAIN_BUILD=DIR      an existing MinGW build tree of that commit (default: made once
#                             in build/bench-main from `git archive REF`)
#   BENCH_BASE_REF=REF        the build whose publisher column one thread fills (default
#                             8ec8414; made once in build/bench-base)
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

# ref_build REF NAME: the MinGW build tree of commit REF (made once in build/NAME), on stdout.
ref_build() {
  dir=$root/build/$2
  if [ "$(cat "$dir/ref" 2>/dev/null)" != "$1" ]; then
    rm -rf "$dir"
    mkdir -p "$dir/src"
    git -C "$root" archive "$1" | tar -x -C "$dir/src"
    echo "$1" >"$dir/ref"
  fi
  if [ ! -f "$dir/win64/build.ninja" ]; then
    cmake -S "$dir/src" -B "$dir/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$dir/src/cmake/mingw-w64-x86_64.cmake" >/dev/null
  fi
  ninja -j2 -C "$dir/win64" startup_bench >/dev/null
  echo "$dir/win64"
}
main_build=${BENCH_MAIN_BUILD:-}
[ -n "$main_build" ] && ninja -j2 -C "$main_build" startup_bench >/dev/null
[ -n "$main_build" ] || main_build=$(ref_build "$ref" bench-main)
base_build=$(ref_build "${BENCH_BASE_REF:-8ec8414}" bench-base)

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
  root=$1 prefix=$2 ours=$3 main=$4 material=$5 rounds=$6 base=$7
  run() { "$root/tools/wine-run.sh" --prefix "$prefix" "$@"; }
  status=0
  run "$ours" seed "$material" || status=1
  i=1
  while [ $i -le "$rounds" ]; do
    echo "== round $i: main"
    run "$main" || status=1
    echo "== round $i: one publisher thread"
    run "$base" || status=1
    echo "== round $i: this tree"
    run "$ours" || status=1
    i=$((i + 1))
  done
  run "$ours" clean || status=1
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
  exit $status' startup-items "$root" "$prefix" "$build/startup/startup_bench.exe" \
  "$main_build/startup/startup_bench.exe" "$(winpath "$material")" "$rounds" \
  "$base_build/startup/startup_bench.exe" >"$out" || rc=$?
tr -d '\r' <"$out" | grep -v '^startup_refresh_ms=\|^startup_places_ms=' || true
# The drivers' last lines, in round order: main's, the one-thread build's, this tree's.
median() { sort -n | awk '{v[NR]=$1} END {if (NR) print v[int((NR+1)/2)]; else print "n/a"}'; }
finals=$(tr -d '\r' <"$out" | grep '^startup_refresh_ms=')
main_lines=$(printf '%s\n' "$finals" | awk 'NR % 3 == 1')
base_lines=$(printf '%s\n' "$finals" | awk 'NR % 3 == 2')
our_lines=$(printf '%s\n' "$finals" | awk 'NR % 3 == 0')
# This tree's slowest answers, one per round (the driver's line before its last).
slowest=$(tr -d '\r' <"$out" | grep '^startup_places_ms=' | awk 'NR % 3 == 0')
field() { sed -n "s/.*$1=\([0-9]*\).*/\1/p"; }
base_ms=$(printf '%s\n' "$base_lines" | field publisher_ms | median)
our_ms=$(printf '%s\n' "$our_lines" | field publisher_ms | median)
echo "main_startup_refresh_ms=$(printf '%s\n' "$main_lines" | field startup_refresh_ms | median)" \
     "main_rows=$(printf '%s\n' "$main_lines" | field rows | tail -n 1)"
echo "base_publisher_ms=$base_ms publisher_ms=$our_ms" \
     "publisher_ratio=$(awk -v a="$our_ms" -v b="$base_ms" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "n/a"}')" \
     "slowest_answer_ms=$(printf '%s\n' "$slowest" | field slowest_answer_ms | sort -n | tail -n 1)"
echo "startup_refresh_ms=$(printf '%s\n' "$our_lines" | field startup_refresh_ms | median)" \
     "publisher_ms=$our_ms" \
     "rows=$(printf '%s\n' "$our_lines" | field rows | tail -n 1)"
exit $rc
