#!/bin/sh
# ./release.sh: builds the Release tree (build/win64, configured as ./test.sh does) and makes
# the release packages under dist/ (tools/package.sh):
#   dist/MirtakTools-<version>-setup.exe, dist/MirtakTools-<version>-portable.zip, dist/SHA256SUMS
# Signing (Authenticode, osslsigncode): SIGN_KEY and SIGN_CERT (PEM key and certificate
# chain), or SIGN_PKCS12 (with SIGN_PASS); SIGN_TIMESTAMP_URL adds an RFC 3161 time stamp.
# Without them the packages are made unsigned, and it says so.
#   JOBS  parallel build jobs (default: number of cores)
set -eu
# Key files named relative to where this was started stay found after the cd below.
for v in SIGN_KEY SIGN_CERT SIGN_PKCS12; do
  eval "value=\${$v:-}"
  case $value in
    ''|/*) ;;
    *) eval "$v=\$(pwd)/\$value"; export "$v" ;;
  esac
done
cd "$(dirname "$0")"
tools/install-deps.sh
tree=build/win64
if ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$tree/CMakeCache.txt" 2>/dev/null ||
   [ ! -f "$tree/build.ninja" ]; then
  cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/mingw-w64-x86_64.cmake"
fi
ninja -C "$tree" -j "${JOBS:-$(nproc)}" MirtakTools
tools/package.sh "$tree" dist
