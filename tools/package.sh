#!/bin/sh
# package.sh BUILD_DIR DIST_DIR: makes the release packages of a built Windows tree (see
# ./release.sh, which builds the tree first):
#   DIST_DIR/MirtakTools-<version>-setup.exe     the installer (installer/MirtakTools.nsi)
#   DIST_DIR/MirtakTools-<version>-portable.zip  the program alone
#   DIST_DIR/SHA256SUMS                          of both
# <version> is the tree's program version without its "v" (v1.3: 1.3), as CMakeLists.txt
# sets it. With SIGN_KEY and SIGN_CERT, or SIGN_PKCS12 (tools/sign-file.sh), the program, the
# uninstaller and the installer are signed; without them it says that the release is unsigned.
set -eu
[ $# -eq 2 ] || { echo "usage: tools/package.sh BUILD_DIR DIST_DIR" >&2; exit 2; }
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
dist=$(cd "$2" && pwd)

env_file="$build/generated/release.env"
[ -f "$env_file" ] || { echo "package: $env_file missing: configure $build first" >&2; exit 1; }
. "$env_file"
[ -f "$build/MirtakTools.exe" ] || { echo "package: $build/MirtakTools.exe is not built" >&2; exit 1; }
release=${MT_PROGRAM_VERSION#v}
setup="MirtakTools-$release-setup.exe"
portable="MirtakTools-$release-portable.zip"

if [ -n "${SIGN_PKCS12:-}" ]; then
  [ -f "$SIGN_PKCS12" ] || { echo "package: SIGN_PKCS12: no file $SIGN_PKCS12" >&2; exit 1; }
  signed=1
elif [ -n "${SIGN_KEY:-}${SIGN_CERT:-}" ]; then
  [ -f "${SIGN_KEY:-}" ] && [ -f "${SIGN_CERT:-}" ] ||
    { echo "package: SIGN_KEY and SIGN_CERT must both name files" >&2; exit 1; }
  signed=1
else
  signed=
fi

stage=$(mktemp -d "${TMPDIR:-/tmp}/mt-package.XXXXXX")
trap 'rm -rf "$stage"' EXIT
cp "$build/MirtakTools.exe" "$stage/MirtakTools.exe"
rm -f "$dist/$setup" "$dist/$portable" "$dist/SHA256SUMS"

sign_define=
if [ -n "$signed" ]; then
  "$source_dir/tools/sign-file.sh" "$stage/MirtakTools.exe"
  sign_define="-DMT_SIGN=$source_dir/tools/sign-file.sh"
fi

# shellcheck disable=SC2086
makensis -V2 -INPUTCHARSET UTF8 -DMT_DEFINES="$build/generated/release.nsh" \
         -DMT_EXE="$stage/MirtakTools.exe" -DMT_OUTFILE="$dist/$setup" $sign_define \
         "$source_dir/installer/MirtakTools.nsi"
(cd "$stage" && zip -q -X "$dist/$portable" MirtakTools.exe)
(cd "$dist" && sha256sum "$setup" "$portable" >SHA256SUMS)

echo "package: $dist/$setup"
echo "package: $dist/$portable"
echo "package: $dist/SHA256SUMS"
if [ -n "$signed" ]; then
  echo "package: signed (program, uninstaller, installer)"
else
  echo "package: UNSIGNED release: the program's update refuses an unsigned installer;" \
       "set SIGN_KEY and SIGN_CERT (or SIGN_PKCS12) to sign it" >&2
fi
