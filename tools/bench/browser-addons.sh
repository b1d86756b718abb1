#!/bin/sh
# Times the "IE修复" list (600 add-ons with icons, 300 shortcuts, 40 policies, 4 browsers x 5
# Chromium profiles, 20 external-extension keys, a 10,000-line hosts file, 200 image-hijack keys,
# 20 desktop namespace items) under Wine, against main's build.
# Runs this tree's driver and the driver of a base build (main at BENCH_BASE_COMMIT, default
# 5994477, built once into build/bench-base) in turn, three times each, on one Wine prefix;
# each driver times five shows. The base build lists only the add-ons: its figure is what the
# same machine takes for the add-ons alone. The last line reads
# "browser_show_ms=<median> rows=<rows listed> base_browser_show_ms=<base median>" ("none"
# without a base); a show is the time from switching to the tab until its list is painted.
#   BENCH_BUILD_DIR=DIR       another MinGW build tree
#   BENCH_WINEPREFIX=DIR      another Wine prefix (default: the build tree's)
#   BENCH_BASE=none           this tree only
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/win64}
prefix=${BENCH_WINEPREFIX:-$build/wineprefix}
base=$root/build/bench-base
commit=${BENCH_BASE_COMMIT:-5994477}
if [ "$BENCH_BASE" != none ] && [ ! -f "$base/win64/build.ninja" ]; then
  rm -rf "$base/src"; mkdir -p "$base/src"
  git -C "$root" archive "$commit" | tar -x -C "$base/src"
  cmake -S "$base/src" -B "$base/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$base/src/cmake/mingw-w64-x86_64.cmake" >/dev/null
fi
median() { tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Wine starts its menu builder for every shortcut saved; 300 of them at once would still be
# running during the timed shows.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
run() {  # run LABEL BUILD: one driver process; prints its lines with the label
  BENCH_BUILD_DIR=$2 BENCH_WINEPREFIX=$prefix \
    "$root/tools/wine-bench.sh" browser_bench browser/browser_bench.exe browser-addons |
    sed "s/^/$1: /"
}
ours= theirs= rows=
for round in 1 2 3; do
  out=$(run this "$build"); echo "$out"
  ours="$ours $(echo "$out" | sed -n 's/^this: browser_show_ms=\([0-9]*\).*/\1/p')"
  rows=$(echo "$out" | sed -n 's/^this: browser_show_ms=[0-9]* rows=\([0-9]*\)/\1/p')
  if [ "$BENCH_BASE" != none ]; then
    out=$(run base "$base/win64"); echo "$out"
    theirs="$theirs $(echo "$out" | sed -n 's/^base: browser_show_ms=\([0-9]*\).*/\1/p')"
  fi
done
base_ms=none
[ -n "$theirs" ] && base_ms=$(echo "$theirs" | median)
echo "browser_show_ms=$(echo "$ours" | median) rows=$rows base_browser_show_ms=$base_ms"
