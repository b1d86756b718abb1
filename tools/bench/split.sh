#!/bin/sh
# Split/join benchmark of the piece-set engine against coreutils, on a 1 GiB file that sits in
# the page cache. Started by "./bench.sh split" or directly as tools/bench/split.sh.
#
#   BENCH_DIR    work folder (default: a fresh folder under ${TMPDIR:-/tmp}); needs ~3 GiB
#   BENCH_MB     file size in MiB (default 1024)
#   BENCH_PIECE  piece size in MB for the split (default 128, so 8 pieces)
#   BENCH_RUNS   runs of each step, the fastest counts (default 3)
#   BENCH_WINE   0 skips the Windows build under Wine (default: run it when it can be built)
#
# Engine times are measured inside the driver (bench program split_bench, built natively in
# build/bench-native and with MinGW in build/win64); coreutils times around the command.
# Prints one line per platform and ends with the native figures:
#   split_ratio=1.03 merge_ratio=1.01 peak_rss_mib=3.2
# (ratio = engine time / coreutils time; peak_rss_mib = peak resident memory of the engine's
# process; the idle figure printed above it is the same program doing nothing).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
mb=${BENCH_MB:-1024}
piece=${BENCH_PIECE:-128}
runs=${BENCH_RUNS:-3}
pieces=$(( (mb + piece - 1) / piece ))

# ---- build the driver ---------------------------------------------------------------------
native_build=$root/build/bench-native
if [ ! -f "$native_build/build.ninja" ]; then
  cmake -S "$root" -B "$native_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMT_SANITIZE=OFF \
    >/dev/null
fi
ninja -C "$native_build" -j2 split_bench >/dev/null
native_bin=$native_build/splitter/split_bench

wine_bin=
if [ "${BENCH_WINE:-1}" != 0 ] && command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 &&
   command -v wine >/dev/null 2>&1 && [ -f "$root/cmake/mingw-w64-x86_64.cmake" ]; then
  win_build=$root/build/win64
  if [ ! -f "$win_build/build.ninja" ]; then
    cmake -S "$root" -B "$win_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null 2>&1 || true
  fi
  if [ -f "$win_build/build.ninja" ] && ninja -C "$win_build" -j2 split_bench >/dev/null 2>&1; then
    wine_bin=$win_build/splitter/split_bench.exe
  else
    echo "note: the Windows driver could not be built; Wine figures skipped" >&2
  fi
fi

# ---- the work folder -----------------------------------------------------------------------
work=${BENCH_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/split-bench.XXXXXX")}
mkdir -p "$work"
cleanup() { rm -rf "$work/src.bin" "$work/pieces" "$work/core" "$work/out.bin"; [ -n "${BENCH_DIR:-}" ] || rmdir "$work" 2>/dev/null || true; }
trap cleanup EXIT INT TERM
echo "source: $mb MiB of random bytes, pieces of $piece MB ($pieces pieces), best of $runs" >&2
head -c "$((mb * 1048576))" /dev/urandom >"$work/src.bin"
cat "$work/src.bin" >/dev/null    # into the page cache

now() { date +%s.%N; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }
piece_list() { k=1; while [ $k -le $pieces ]; do printf '%s ' "$work/pieces/$k.ds"; k=$((k + 1)); done; }

# $1 = command prefix for the driver, $2 = path style (posix|wine); sets e_split, e_merge, e_rss
engine_runs() {
  e_split= e_merge= e_rss=0
  i=0
  while [ $i -lt "$runs" ]; do
    rm -rf "$work/pieces" "$work/out.bin"; mkdir "$work/pieces"; sync
    if [ "$2" = wine ]; then
      src="Z:$(echo "$work/src.bin" | tr / '\\')"; dir="Z:$(echo "$work/pieces" | tr / '\\')"
      out="Z:$(echo "$work/out.bin" | tr / '\\')"
    else
      src=$work/src.bin dir=$work/pieces out=$work/out.bin
    fi
    r=$($1 split "$src" "$dir" "$piece")
    e_split=$(min "$(echo "$r" | field seconds)" "$e_split")
    e_rss=$(echo "$r" | field peak_rss_kib | awk -v m="$e_rss" '{ print ($1 > m) ? $1 : m }')
    sync
    r=$($1 merge "$out" "$dir" "$pieces")
    e_merge=$(min "$(echo "$r" | field seconds)" "$e_merge")
    e_rss=$(echo "$r" | field peak_rss_kib | awk -v m="$e_rss" '{ print ($1 > m) ? $1 : m }')
    cmp -s "$work/src.bin" "$work/out.bin" || { echo "joined file differs from the source" >&2; exit 1; }
    i=$((i + 1))
  done
}

core_runs() {
  c_split= c_merge=
  rm -rf "$work/pieces"; mkdir "$work/pieces"
  "$native_bin" split "$work/src.bin" "$work/pieces" "$piece" >/dev/null   # pieces for cat
  i=0
  while [ $i -lt "$runs" ]; do
    rm -rf "$work/core" "$work/out.bin"; mkdir "$work/core"; sync
    t0=$(now); (cd "$work/core" && split -b "${piece}M" "$work/src.bin"); t1=$(now)
    c_split=$(min "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" "$c_split")
    sync
    # shellcheck disable=SC2046
    t0=$(now); cat $(piece_list) >"$work/out.bin"; t1=$(now)
    c_merge=$(min "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" "$c_merge")
    i=$((i + 1))
  done
  rm -rf "$work/core"
}

report() {  # $1 label, $2 idle kib
  awk -v l="$1" -v es="$e_split" -v cs="$c_split" -v em="$e_merge" -v cm="$c_merge" \
      -v rss="$e_rss" -v idle="$2" 'BEGIN {
    printf "%s engine split %.3fs merge %.3fs | coreutils split %.3fs cat %.3fs | idle_rss_mib=%.1f above_idle_mib=%.1f\n",
           l, es, em, cs, cm, idle / 1024, (rss - idle) / 1024
    printf "%ssplit_ratio=%.2f merge_ratio=%.2f peak_rss_mib=%.1f\n", (l == "native:" ? "" : l " "),
           es / cs, em / cm, rss / 1024 }'
}

core_runs
if [ -n "$wine_bin" ]; then
  wine_run="$root/tools/wine-run.sh $wine_bin"
  idle=$($wine_run idle | field peak_rss_kib)
  engine_runs "$wine_run" wine
  wine_lines=$(report "wine:" "$idle")
fi
idle=$("$native_bin" idle | field peak_rss_kib)
engine_runs "$native_bin" posix
native_lines=$(report "native:" "$idle")
if [ -n "$wine_bin" ]; then echo "$wine_lines"; fi
echo "$native_lines"
