#!/bin/sh
# Builds the program (build/win64/MirtakTools.exe) and starts it under Wine.
#   ./run.sh                    on the current X display ($DISPLAY), prefix build/win64/run-prefix
#   ./run.sh --screenshot FILE  on a private virtual display, in a pristine prefix: waits for the
#                               main window, saves a PNG of the screen to FILE, closes the program
# Installs missing packages first (tools/install-deps.sh) and configures build/win64 only when
# it is not configured yet; a repeated run rebuilds nothing that is up to date.
#   JOBS          parallel build jobs (default: number of cores)
#   SHOT_TIMEOUT  seconds to wait for the main window (default 60)
set -e
cd "$(dirname "$0")"
ROOT=$(pwd)
B=build/win64
EXE=$B/MirtakTools.exe
CLASS=TForm1

shot=
case "$1" in
  "") ;;
  --screenshot)
    [ -n "$2" ] || { echo "usage: ./run.sh [--screenshot FILE]" >&2; exit 2; }
    shot=$2 ;;
  -h|--help) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 0 ;;
  *) echo "usage: ./run.sh [--screenshot FILE]" >&2; exit 2 ;;
esac

if [ -z "$shot" ] && [ -z "$DISPLAY" ]; then
  echo "run.sh: no display (DISPLAY is not set)." >&2
  echo "run.sh: use ./run.sh --screenshot FILE to run on a virtual display and save a PNG." >&2
  exit 2
fi

tools/install-deps.sh
if [ ! -f $B/build.ninja ]; then
  cmake -S . -B $B -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
fi

if [ -z "$shot" ]; then
  ninja -C $B -j "${JOBS:-$(nproc)}" MirtakTools
  # A display with a window manager: plain windows, no Wine virtual desktop.
  tools/wine-prefix.sh --desktop none $B/run-prefix
  exec tools/wine-run.sh --prefix $B/run-prefix $EXE
fi

ninja -C $B -j "${JOBS:-$(nproc)}" MirtakTools start_window
out=$(realpath -m "$shot")
mkdir -p "$(dirname "$out")"

# Every shot starts from a copy of a template prefix made once, so the per-user launch
# counter is always that of a first start (no offer dialog) and the shot always shows the
# main window. The copy shares system32's binaries with the template by hard links (nothing
# writes them) and copies everything else, registry included: well under a second.
T=$ROOT/$B/run-template
S=$ROOT/$B/shot-prefix
tools/wine-prefix.sh "$T"
WINEPREFIX=$S wineserver -k >/dev/null 2>&1 || true
rm -rf "$S"
mkdir -p "$S"
tar -C "$T" --exclude=./drive_c/windows/system32 -cf - . | tar -C "$S" -xf -
cp -al "$T/drive_c/windows/system32" "$S/drive_c/windows/"

# Under the Wine virtual desktop the program's windows are not X windows: start_window.exe
# (tools/bench) starts the program and returns once its window of class TForm1 is visible.
winpath() { printf 'Z:%s' "$(realpath "$1")" | tr / '\\'; }
export S OUT="$out" TIMEOUT="${SHOT_TIMEOUT:-60}" CLASS
export STARTER="$B/tools/bench/start_window.exe" TARGET="$(winpath $EXE)"
export LOG="$S/run.log"
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" sh -c '
  run() { tools/wine-run.sh --prefix "$S" "$@"; }
  rc=0
  run "$STARTER" "$TARGET" "$CLASS" "$TIMEOUT" >"$LOG.ms" 2>>"$LOG" || rc=$?
  if [ $rc = 0 ]; then
    sleep 1                          # let the desktop window reach the X server
    import -window root "$OUT" || rc=9
    run "$STARTER" --close "$CLASS" 10 2>>"$LOG" || true
  fi
  WINEPREFIX="$S" wineserver -k >/dev/null 2>&1 || true
  exit $rc' || rc=$?
rc=${rc:-0}
case $rc in
  0) echo "run.sh: main window up after $(cat "$LOG.ms") ms; screenshot saved to $out" ;;
  2) echo "run.sh: $EXE ended before its main window appeared:" >&2; cat "$LOG" >&2 ;;
  3) echo "run.sh: the main window (class $CLASS) did not appear within ${SHOT_TIMEOUT:-60} s" >&2 ;;
  9) echo "run.sh: taking the screenshot failed" >&2 ;;
  *) echo "run.sh: starting $EXE under Wine failed (code $rc):" >&2; cat "$LOG" >&2 ;;
esac
exit $rc
