#!/bin/sh
# Times the startup list refresh (2,000 machine Run values, 500 shortcuts) under Wine.
# The last line reads "startup_refresh_ms=<median of 5> rows=<rows listed>".
#   tools/bench/startup-items.sh            (builds build/win64 when needed)
#   BENCH_BUILD_DIR=DIR                      another MinGW build tree
#   BENCH_WINEPREFIX=DIR                     another Wine prefix (default: the build tree's)
exec "$(dirname "$0")/../wine-bench.sh" startup_bench startup/startup_bench.exe startup-items
