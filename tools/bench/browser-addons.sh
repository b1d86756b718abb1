#!/bin/sh
# Times the browser add-on list (600 add-ons, 200 of each kind, with icons) under Wine.
# The last line reads "browser_show_ms=<median of 5> rows=<rows listed>"; a show is the time
# from switching to the "IE修复" tab until its list is painted.
#   tools/bench/browser-addons.sh           (builds build/win64 when needed)
#   BENCH_BUILD_DIR=DIR                      another MinGW build tree
#   BENCH_WINEPREFIX=DIR                     another Wine prefix (default: the build tree's)
exec "$(dirname "$0")/../wine-bench.sh" browser_bench browser/browser_bench.exe browser-addons
