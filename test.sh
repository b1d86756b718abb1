#!/bin/sh
# Checks the sources' layout (tools/check-format.sh) and includes (tools/check-includes.py),
# builds both trees and runs every test, natively and under Wine; ends with the checks'
# verdicts and ctest's summaries.
#   build/native  g++, Debug, address and undefined-behaviour sanitizers (MT_SANITIZE=ON)
#   build/win64   MinGW-w64, Release; tests run under Wine on a private Xvfb
# Installs missing packages first (tools/install-deps.sh). Both trees are always built and
# tested, even when the first fails or the layout check does; the exit status is non-zero when
# anything failed.
#   JOBS  parallel build jobs (default: number of cores); tests run 2 at a time
cd "$(dirname "$0")"
tools/install-deps.sh || exit 1
JOBS=${JOBS:-$(nproc)}
status=0
summary=

# configure DIR CMAKE-ARGS...: configures DIR when it is not configured yet, or when the cached
# options differ from the wanted ones (a toolchain file is only honoured on a fresh tree).
configure() {
  dir=$1; shift
  if [ -f "$dir/build.ninja" ]; then
    stale=
    for a in "$@"; do
      case "$a" in
        -D*=*) kv=${a#-D}; k=${kv%%=*}; v=${kv#*=}
               grep -qx "$k:[A-Z]*=$v" "$dir/CMakeCache.txt" 2>/dev/null || stale=1 ;;
      esac
    done
    [ -z "$stale" ] && return 0
  fi
  cmake -S . -B "$dir" -G Ninja "$@"
}

# tree NAME DIR CTEST-COMMAND...: configure, build and test one tree; remember its summary.
tree() {
  name=$1 dir=$2; shift 2
  log="$dir/ctest.log"
  echo "==== $name: build ($dir)"
  if ! ninja -C "$dir" -j "$JOBS"; then
    status=1; summary="$summary
==== $name: BUILD FAILED"
    return
  fi
  echo "==== $name: tests"
  # POSIX sh has no pipefail: ctest's exit status goes through a file.
  { "$@" 2>&1; echo $? >"$log.rc"; } | tee "$log"
  [ "$(cat "$log.rc")" = 0 ] || status=1
  summary="$summary
==== $name ($dir):
$(sed -n '/tests passed, .* tests failed out of/,$p' "$log")"
}

# check NAME COMMAND...: a check of the sources; its verdict (last line, or everything it
# printed when it fails) goes in the summary.
check() {
  name=$1; shift
  echo "==== $name: $*"
  log=$("$@" 2>&1)
  rc=$?
  echo "$log"
  if [ $rc = 0 ]; then
    summary="$summary
==== $name: $(echo "$log" | tail -n 1)"
  else
    status=1; summary="$summary
==== $name: FAILED
$log"
  fi
}
# The layout of the C and C++ sources (clang-format 14), and the includes against the plan
# of the folders (app/ shared, no tool including another, logic never including win/).
check format tools/check-format.sh
check includes python3 tools/check-includes.py

mkdir -p build
if configure build/native -DCMAKE_BUILD_TYPE=Debug -DMT_SANITIZE=ON; then
  tree native build/native ctest --test-dir build/native -j2 --output-on-failure
else
  status=1; summary="$summary
==== native: CONFIGURE FAILED"
fi
if configure build/win64 -DCMAKE_BUILD_TYPE=Release \
             -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/mingw-w64-x86_64.cmake"; then
  tree win64 build/win64 tools/ctest-wine.sh --test-dir build/win64 -j2 --output-on-failure
else
  status=1; summary="$summary
==== win64: CONFIGURE FAILED"
fi

echo
echo "==================== summary ===================="
echo "$summary" | sed 1d
[ $status = 0 ] && echo "==== all tests passed" || echo "==== FAILURES (see above)"
exit $status
