#!/bin/sh
# Start-up time of the main window against a minimal Win32 window program, under Wine.
#   ./bench.sh launch [RUNS]        (default 7)
# Prints  minwin_ms=.. window_ms=.. window_ratio=..  : the medians of RUNS starts each, from
# CreateProcess until the top-level window is visible (bench_launch.exe), measured in turns
# in the same Wine session and prefix (build/win64/bench-prefix, under a private Xvfb).
# The first start of each is a warm-up and not counted.
set -e
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
B=build/win64
RUNS=${1:-7}

tools/install-deps.sh
if [ ! -f $B/build.ninja ]; then
  cmake -S . -B $B -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
fi
ninja -C $B -j "${JOBS:-$(nproc)}" MirtakTools bench_minwin bench_launch >/dev/null

winpath() { printf 'Z:%s' "$(realpath "$1")" | tr / '\\'; }
export P="$ROOT/$B/bench-prefix" RUNS
export LAUNCH="$B/tools/bench/bench_launch.exe"
export MINWIN="$(winpath $B/tools/bench/bench_minwin.exe)"
export WINDOW="$(winpath $B/MirtakTools.exe)"
tools/wine-prefix.sh "$P"
WINEPREFIX="$P" wineserver -k >/dev/null 2>&1 || true
out=$(mktemp)
trap 'rm -f "$out"' EXIT
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" sh -c '
  run() { tools/wine-run.sh --prefix "$P" "$LAUNCH" "$@"; }
  bench() {
    run "$MINWIN" BenchMinWin >/dev/null && run "$WINDOW" TForm1 >/dev/null || return
    i=0
    while [ $i -lt "$RUNS" ]; do
      m=$(run "$MINWIN" BenchMinWin) && w=$(run "$WINDOW" TForm1) || return
      echo "minwin $m"
      echo "window $w"
      i=$((i + 1))
    done
  }
  bench; rc=$?
  WINEPREFIX="$P" wineserver -k >/dev/null 2>&1
  exit $rc' >"$out" || { echo "bench launch: a start failed (see above)" >&2; exit 1; }

median() {
  sed -n "s/^$1 //p" "$out" | sort -n | awk '{ v[NR] = $1 }
    END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
echo "samples (ms):" $(tr '\n' ' ' <"$out") >&2
m=$(median minwin)
w=$(median window)
r=$(awk -v m="$m" -v w="$w" 'BEGIN { printf "%.2f", w / m }')
echo "minwin_ms=$m window_ms=$w window_ratio=$r"
