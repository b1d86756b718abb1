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
# cat (coreutils 9) copies in the kernel (copy_file_range) and split reads 128 KiB at a time;
# a "dd bs=61440" copy is timed as well, as the floor of any 61,440-byte read/write loop.
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

winpath() { printf 'Z:%s\n' "$(printf '%s' "$1" | tr / '\\')"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { print b - a }'; }
bigger() { awk -v a="$1" -v b="$2" 'BEGIN { print (a > b) ? a : b }'; }

# One round: each contender splits the source and joins the pieces once, one after another,
# so that load from elsewhere on the machine falls on all of them alike. The fastest of all
# rounds counts. Engine runs must give the source back byte for byte.
# $1 = key (n|w), $2 = driver command, $3 = source, $4 = folder, $5 = output
engine_round() {
  rm -rf "$work/pieces" "$work/out.bin"; mkdir "$work/pieces"; sync
  r=$($2 split "$3" "$4" "$piece")
  eval "s_$1=\$(min \"$(echo "$r" | field seconds)\" \"\${s_$1:-}\")"
  eval "rss_$1=\$(bigger \"$(echo "$r" | field peak_rss_kib)\" \"\${rss_$1:-0}\")"
  sync
  r=$($2 merge "$5" "$4" "$pieces")
  eval "m_$1=\$(min \"$(echo "$r" | field seconds)\" \"\${m_$1:-}\")"
  eval "rss_$1=\$(bigger \"$(echo "$r" | field peak_rss_kib)\" \"\${rss_$1:-0}\")"
  cmp -s "$work/src.bin" "$work/out.bin" || { echo "joined file differs from the source" >&2; exit 1; }
}

core_round() {
  rm -rf "$work/core" "$work/out.bin"; mkdir "$work/core"; sync
  t0=$(now); (cd "$work/core" && split -b "${piece}M" "$work/src.bin"); t1=$(now)
  s_c=$(min "$(elapsed "$t0" "$t1")" "${s_c:-}")
  rm -rf "$work/pieces"; mkdir "$work/pieces"
  "$native_bin" split "$work/src.bin" "$work/pieces" "$piece" >/dev/null   # the pieces for cat
  sync
  # shellcheck disable=SC2046
  t0=$(now); cat $(piece_list) >"$work/out.bin"; t1=$(now)
  m_c=$(min "$(elapsed "$t0" "$t1")" "${m_c:-}")
  # Reference only: the same copy as a plain read/write loop with the engine's buffer size.
  rm -f "$work/out.bin"; sync
  t0=$(now); dd if="$work/src.bin" of="$work/out.bin" bs=61440 status=none; t1=$(now)
  d_c=$(min "$(elapsed "$t0" "$t1")" "${d_c:-}")
  rm -rf "$work/core"
}

report() {  # $1 label, $2 split s, $3 merge s, $4 peak kib, $5 idle kib
  awk -v l="$1" -v es="$2" -v em="$3" -v cs="$s_c" -v cm="$m_c" -v rss="$4" -v idle="$5" 'BEGIN {
    printf "%s engine split %.3fs merge %.3fs | coreutils split %.3fs cat %.3fs | idle_rss_mib=%.1f above_idle_mib=%.1f\n",
           l, es, em, cs, cm, idle / 1024, (rss - idle) / 1024
    printf "%ssplit_ratio=%.2f merge_ratio=%.2f peak_rss_mib=%.1f\n", (l == "native:" ? "" : l " "),
           es / cs, em / cm, rss / 1024 }'
}

if [ -n "$wine_bin" ]; then
  wine_run="$root/tools/wine-run.sh --prefix $win_build/wineprefix $wine_bin"
  idle_w=$($wine_run idle | field peak_rss_kib)
fi
idle_n=$("$native_bin" idle | field peak_rss_kib)
i=0
while [ $i -lt "$runs" ]; do
  core_round
  engine_round n "$native_bin" "$work/src.bin" "$work/pieces" "$work/out.bin"
  if [ -n "$wine_bin" ]; then
    engine_round w "$wine_run" "$(winpath "$work/src.bin")" "$(winpath "$work/pieces")" \
      "$(winpath "$work/out.bin")"
  fi
  i=$((i + 1))
done
if [ -n "$wine_bin" ]; then
  report "wine:" "$s_w" "$m_w" "$rss_w" "$idle_w"
  WINEPREFIX=$win_build/wineprefix wineserver -k >/dev/null 2>&1 || true
fi
awk -v d="$d_c" -v en="$m_n" -v ew="${m_w:-0}" 'BEGIN {
  printf "reference: dd bs=61440 copy %.3fs; engine merge / dd: native %.2f", d, en / d
  if (ew > 0) printf ", wine %.2f", ew / d
  printf "\n" }'
report "native:" "$s_n" "$m_n" "$rss_n" "$idle_n"
