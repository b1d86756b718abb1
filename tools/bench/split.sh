#!/bin/sh
# Split/join benchmark of the piece-set engine against dd, split and cat, whole processes timed
# Started by "./bench.sh split" or directly as tools/bench/split.sh.
#
#   BENCH_DIR    work folder (default: a fresh folder under ${TMPDIR:-/tmp}); needs ~3 GiB
#   BENCH_MB     file size in MiB (default 1024), random bytes kept in the page cache
#   BENCH_PIECE  piece size in MB for the split (default 32, so 32 pieces; the recovery piece
#                is also timed at 128 MB pieces, beyond what it keeps in memory)
#   BENCH_RUNS   rounds (default 5, at least 5 are run)
#   BENCH_WINE   0 skips the Windows build under Wine (default: run it when it can be built)
#
# Every contender is timed the same way: the wall time of its whole process, taken in this
# script around the command (so the engine's start-up, and under Wine Wine's, counts too).
# The contenders run one after another inside each round, the rounds repeat, and each figure
# is the median of the rounds with the fastest and slowest beside it:
#   dd       dd bs=61440 of the source into one file: the floor of any copy loop with the
#            engine's 61,440-byte buffer
#   split    coreutils split -b; cat: coreutils cat of the pieces
#   engine   split_bench split / merge (the program's engine): plain, with the XXH3-128 record
#            (hash), the split with the record and the recovery piece (rec), and the merge that
#            rebuilds a deleted middle piece from the others and the recovery piece (rebuild),
#            the check of the whole set with its recovery piece (verify), and the split with and
#            without the recovery piece at 128 MB pieces (splitrec128, splithash128); natively
#            and, with the MinGW build, under Wine
#   wfloor   under Wine: bench_copyfloor, our bare 61,440-byte ReadFile/WriteFile copy of the
#            source into one file, the floor of any engine under Wine
# Peak memory is the engine's own peak resident set, against the same driver doing nothing.
# The last line holds the native figures and the Wine floor:
#   split_vs_dd=1.05 merge_vs_dd=1.04 hash_overhead=1.12 recovery_overhead=1.10 wine_vs_floor=1.20 peak_rss_mib=3.1
#   recovery_overhead_128=1.20 rebuild_vs_merge=1.10 verify_vs_dd=0.80
#   wine_recovery_overhead=1.10 wine_recovery_overhead_128=1.20 wine_rebuild_vs_merge=1.30 wine_verify_vs_dd=1.00
# (the split with the record and the recovery piece, and the checked merge, over dd; hashing
# engine / plain engine, split and merge together; recovery_overhead: the split with the
# recovery piece over the one with the record only (the line before it also gives the rebuild
# over the checked merge); the slower of the hashing split and merge under Wine / the copy floor
# under Wine, n/a without Wine; peak resident set of the engine in MiB; recovery_overhead_128:
# the same at 128 MB pieces; rebuild_vs_merge: the rebuilding merge over the checked merge;
# verify_vs_dd: the check of the set over dd; the wine_ ones the same under Wine, n/a without.)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
mb=${BENCH_MB:-1024}
piece=${BENCH_PIECE:-32}
runs=${BENCH_RUNS:-5}
[ "$runs" -ge 5 ] || runs=5
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
  if [ -f "$win_build/build.ninja" ] &&
     ninja -C "$win_build" -j2 split_bench bench_copyfloor >/dev/null 2>&1; then
    wine_bin=$win_build/splitter/split_bench.exe
    floor_bin=$win_build/tools/bench/bench_copyfloor.exe
  else
    echo "note: the Windows driver could not be built; Wine figures skipped" >&2
  fi
fi

# ---- the work folder -----------------------------------------------------------------------
work=${BENCH_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/split-bench.XXXXXX")}
mkdir -p "$work"
times=$work/times
cleanup() {
  rm -rf "$work/src.bin" "$work/pieces" "$work/core" "$work/out.bin" "$work/last" "$times"
  [ -n "${BENCH_DIR:-}" ] || rmdir "$work" 2>/dev/null || true
}
trap cleanup EXIT INT TERM
echo "source: $mb MiB of random bytes, pieces of $piece MB ($pieces pieces), $runs rounds" >&2
head -c "$((mb * 1048576))" /dev/urandom >"$work/src.bin"
cat "$work/src.bin" >/dev/null    # into the page cache
: >"$times"

now() { date +%s.%N; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }
piece_list() { k=1; while [ $k -le $pieces ]; do printf '%s ' "$work/pieces/$k.ds"; k=$((k + 1)); done; }
winpath() { printf 'Z:%s\n' "$(printf '%s' "$1" | tr / '\\')"; }

# timed NAME COMMAND...: runs the command as a whole process, appends "NAME seconds" to the
# times file. The driver's own report (peak memory) goes to $work/last.
timed() {
  name=$1; shift
  sync
  t0=$(now)
  "$@" >"$work/last"
  t1=$(now)
  awk -v n="$name" -v a="$t0" -v b="$t1" 'BEGIN { printf "%s %.4f\n", n, b - a }' >>"$times"
  rss=$(field peak_rss_kib <"$work/last")
  [ -z "$rss" ] || echo "rss_$name $rss" >>"$times"
}
same() { cmp -s "$work/src.bin" "$work/out.bin" || { echo "$1: joined file differs" >&2; exit 1; }; }
fresh() { rm -rf "$work/pieces" "$work/core" "$work/out.bin"; mkdir "$work/pieces" "$work/core"; }

# One engine's four runs: split and merge, plain and with the record.
# $1 = n|w, $2.. = driver command (the paths below are turned into the driver's own form)
engine_runs() {
  key=$1; shift
  if [ "$key" = w ]; then
    src=$(winpath "$work/src.bin"); dir=$(winpath "$work/pieces"); out=$(winpath "$work/out.bin")
  else
    src=$work/src.bin; dir=$work/pieces; out=$work/out.bin
  fi
  fresh; timed "${key}split" "$@" split "$src" "$dir" "$piece"
  timed "${key}merge" "$@" merge "$out" "$dir" "$pieces"; same "$key merge"
  fresh; timed "${key}splithash" "$@" split "$src" "$dir" "$piece" hash
  timed "${key}mergehash" "$@" merge "$out" "$dir" "$pieces" hash; same "$key checked merge"
  fresh; timed "${key}splitrec" "$@" split "$src" "$dir" "$piece" recovery
  timed "${key}verify" "$@" check "$dir" "$pieces"
  rm -f "$work/pieces/$(( (pieces + 1) / 2 )).ds"
  timed "${key}rebuild" "$@" merge "$out" "$dir" "$pieces" rebuild; same "$key rebuilding merge"
  fresh; timed "${key}splithash128" "$@" split "$src" "$dir" 128 hash
  fresh; timed "${key}splitrec128" "$@" split "$src" "$dir" 128 recovery
}

if [ -n "$wine_bin" ]; then
  wine_run="$root/tools/wine-run.sh --prefix $win_build/wineprefix"
  idle_w=$($wine_run "$wine_bin" idle | field peak_rss_kib)
fi
idle_n=$("$native_bin" idle | field peak_rss_kib)
i=0
while [ $i -lt "$runs" ]; do
  fresh; timed dd dd if="$work/src.bin" of="$work/out.bin" bs=61440 status=none
  timed split sh -c 'cd "$1" && exec split -b "$2M" "$3"' - "$work/core" "$piece" "$work/src.bin"
  # cat joins the pieces that split just wrote, in their order (xaa, xab, ...).
  timed cat sh -c 'cd "$1" && exec cat x* >"$2"' - "$work/core" "$work/out.bin"; same cat
  engine_runs n "$native_bin"
  if [ -n "$wine_bin" ]; then
    engine_runs w $wine_run "$wine_bin"
    rm -f "$work/out.bin"
    timed wfloor $wine_run "$floor_bin" "$(winpath "$work/src.bin")" "$(winpath "$work/out.bin")"
    same "wine copy floor"
  fi
  i=$((i + 1))
done
[ -z "$wine_bin" ] || WINEPREFIX=$win_build/wineprefix wineserver -k >/dev/null 2>&1 || true

# ---- figures ---------------------------------------------------------------------------------
# stat NAME -> "median min max" of that contender's seconds.
stat() {
  awk -v n="$1" '$1 == n { print $2 }' "$times" | sort -g |
    awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
                              printf "%.3f %.3f %.3f\n", m, v[1], v[NR] }'
}
# peak n|w -> the largest peak resident set (KiB) of that engine's runs.
peak() { awk -v k="rss_$1" 'index($1, k) == 1 && $2 > p { p = $2 } END { print p + 0 }' "$times"; }
line() { set -- "$1" $(stat "$1"); printf '  %-12s median %ss  (min %s, max %s)\n' "$1" "$2" "$3" "$4"; }
med() { stat "$1" | cut -d' ' -f1; }

echo "whole-process times over $runs rounds:"
for n in dd split cat nsplit nmerge nsplithash nmergehash nsplitrec nverify nrebuild \
         nsplithash128 nsplitrec128; do line $n; done
if [ -n "$wine_bin" ]; then
  for n in wfloor wsplit wmerge wsplithash wmergehash wsplitrec wverify wrebuild wsplithash128 \
           wsplitrec128; do line $n; done
  awk -v d="$(med dd)" -v s="$(med wsplit)" -v m="$(med wmerge)" -v sh="$(med wsplithash)" \
      -v mh="$(med wmergehash)" -v f="$(med wfloor)" -v p="$(peak w)" -v idle="$idle_w" \
      -v sr="$(med wsplitrec)" -v rb="$(med wrebuild)" 'BEGIN {
    printf "wine: split_vs_dd=%.2f merge_vs_dd=%.2f hash_overhead=%.2f split_vs_floor=%.2f merge_vs_floor=%.2f splitrec_vs_floor=%.2f rebuild_vs_floor=%.2f peak_rss_mib=%.1f idle_rss_mib=%.1f above_idle_mib=%.1f\n",
           s / d, m / d, (sh + mh) / (s + m), sh / f, mh / f, sr / f, rb / f, p / 1024, idle / 1024, (p - idle) / 1024 }'
  wine_vs_floor=$(awk -v sh="$(med wsplitrec)" -v mh="$(med wmergehash)" -v f="$(med wfloor)" \
                  'BEGIN { r = (sh > mh ? sh : mh) / f; printf "%.2f", r }')
  wine_more=$(awk -v d="$(med dd)" -v sh="$(med wsplithash)" -v sr="$(med wsplitrec)" \
      -v sh8="$(med wsplithash128)" -v sr8="$(med wsplitrec128)" -v mh="$(med wmergehash)" \
      -v rb="$(med wrebuild)" -v v="$(med wverify)" 'BEGIN {
    printf "wine_recovery_overhead=%.2f wine_recovery_overhead_128=%.2f wine_rebuild_vs_merge=%.2f wine_verify_vs_dd=%.2f",
           sr / sh, sr8 / sh8, rb / mh, v / d }')
else
  wine_vs_floor=n/a
  wine_more="wine_recovery_overhead=n/a wine_recovery_overhead_128=n/a wine_rebuild_vs_merge=n/a wine_verify_vs_dd=n/a"
fi
awk -v d="$(med dd)" -v c="$(med split)" -v k="$(med cat)" -v s="$(med nsplit)" \
    -v m="$(med nmerge)" -v p="$(peak n)" -v idle="$idle_n" 'BEGIN {
  printf "native: split_vs_coreutils=%.2f merge_vs_cat=%.2f idle_rss_mib=%.1f above_idle_mib=%.1f\n",
         s / c, m / k, idle / 1024, (p - idle) / 1024 }'
awk -v sh="$(med nsplithash)" -v mh="$(med nmergehash)" -v sr="$(med nsplitrec)" \
    -v rb="$(med nrebuild)" 'BEGIN {
  printf "recovery: split_with_vs_without=%.2f rebuild_vs_checked_merge=%.2f\n", sr / sh, rb / mh }'
awk -v d="$(med dd)" -v s="$(med nsplit)" -v m="$(med nmerge)" -v sh="$(med nsplithash)" \
    -v mh="$(med nmergehash)" -v sr="$(med nsplitrec)" -v p="$(peak n)" -v wf="$wine_vs_floor" \
    -v sh8="$(med nsplithash128)" -v sr8="$(med nsplitrec128)" -v rb="$(med nrebuild)" \
    -v v="$(med nverify)" -v wm="$wine_more" 'BEGIN {
  printf "split_vs_dd=%.2f merge_vs_dd=%.2f hash_overhead=%.2f recovery_overhead=%.2f wine_vs_floor=%s peak_rss_mib=%.1f recovery_overhead_128=%.2f rebuild_vs_merge=%.2f verify_vs_dd=%.2f %s\n",
         sr / d, mh / d, (sh + mh) / (s + m), sr / sh, wf, p / 1024, sr8 / sh8, rb / mh, v / d, wm }'
