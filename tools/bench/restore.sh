#!/bin/sh
# Times restoring a 1,000-item backup set against reg import, and listing 100 sets against bare manifest reads, under Wine.
# One driver (restore_bench, tools/bench/RestoreBench.cpp) measures both pairs in turn in the
# same process and prefix, changing which comes first every round, and prints:
#   round N: restore_ms=.. reg_import_ms=.. list_ms=.. enumerate_ms=..
#   restore_ratio=.. (goal 2)   list_ratio=.. (goal 1.5)
#   restore_ms=N reg_import_ms=M list_ms=L enumerate_ms=E items=K     (medians)
#   ./bench.sh restore [ROUNDS]   rounds (default 8: every order of the pairs twice)
#   ./bench.sh restore profile    where one restore of the 1,000 items spends its time
#   BENCH_BUILD_DIR=DIR           another MinGW build tree (default build/win64)
#   BENCH_WINEPREFIX=DIR          another Wine prefix (default: the build tree's)
# The values, the sets and the seal's secret it made are removed again at the end.
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
command -v ccache >/dev/null 2>&1 || unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
# reg.exe is Wine's own; the menu builder and the browser engines are not wanted.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
exec "$root/tools/wine-bench.sh" restore_bench tools/bench/restore_bench.exe restore "${1:-8}"
