#!/bin/sh
# package.sh BUILD_DIR DIST_DIR: makes the release packages of a built Windows tree (see
# ./release.sh, which builds the tree first):
#   DIST_DIR/MirtakTools-<version>-setup.exe     the installer (installer/MirtakTools.nsi)
#   DIST_DIR/MirtakTools-<version>-portable.zip  the program alone
#   DIST_DIR/SHA256SUMS                          of both
# <version> is the tree's program version without its "v" (v1.3: 1.3), as CMakeLists.txt
# sets it. With SIGN_KEY and SIGN_CERT, or SIGN_PKCS12 (tools/sign-file.sh), the program, the
# uninstaller and the installer are signed; without them it says that the release is unsigned.
# A failed step leaves DIST_DIR's packages of an earlier run as they were: everything is made
# in a folder of its own and moved into DIST_DIR at the end.
set -eu
[ $# -eq 2 ] || { echo "usage: tools/package.sh BUILD_DIR DIST_DIR" >&2; exit 2; }
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
dist=$(cd "$2" && pwd)

# fail CAUSE: the one line that ends a failed run.
fail() { echo "package: $*" >&2; exit 1; }

# The key files are named relative to where this was started; makensis signs the uninstaller
# and the installer from folders of its own, so they are made absolute before anything runs.
absolute() { case $1 in /*) printf '%s\n' "$1" ;; *) printf '%s/%s\n' "$(pwd)" "$1" ;; esac; }
for v in SIGN_KEY SIGN_CERT SIGN_PKCS12; do
  eval "value=\${$v:-}"
  if [ -n "$value" ]; then
    eval "$v=\$(absolute \"\$value\")"
    export "$v"
  fi
done

env_file="$build/generated/release.env"
[ -f "$env_file" ] || { echo "package: $env_file missing: configure $build first" >&2; exit 1; }
. "$env_file"
[ -f "$build/MirtakTools.exe" ] || { echo "package: $build/MirtakTools.exe is not built" >&2; exit 1; }
release=${MT_PROGRAM_VERSION#v}
setup="MirtakTools-$release-setup.exe"
portable="MirtakTools-$release-portable.zip"

# The signing material is tried before anything is built, so that a mistake in it is named
# in one line instead of osslsigncode's and OpenSSL's messages half-way through.
passin=
[ -n "${SIGN_PASS:-}" ] && passin="pass:$SIGN_PASS"
quiet() { "$@" >/dev/null 2>&1; }
if [ -n "${SIGN_PKCS12:-}" ]; then
  [ -f "$SIGN_PKCS12" ] || fail "SIGN_PKCS12: no file $SIGN_PKCS12"
  quiet openssl pkcs12 -in "$SIGN_PKCS12" -noout -passin "${passin:-pass:}" ||
    quiet openssl pkcs12 -legacy -in "$SIGN_PKCS12" -noout -passin "${passin:-pass:}" ||
    fail "SIGN_PKCS12: $SIGN_PKCS12 cannot be read: not a PKCS#12 file, or SIGN_PASS is wrong"
  signed=1
elif [ -n "${SIGN_KEY:-}${SIGN_CERT:-}" ]; then
  [ -n "${SIGN_KEY:-}" ] && [ -n "${SIGN_CERT:-}" ] ||
    fail "SIGN_KEY and SIGN_CERT must both be set"
  [ -f "$SIGN_KEY" ] || fail "SIGN_KEY: no file $SIGN_KEY"
  [ -f "$SIGN_CERT" ] || fail "SIGN_CERT: no file $SIGN_CERT"
  key_public=$(openssl pkey -in "$SIGN_KEY" -pubout ${passin:+-passin "$passin"} 2>/dev/null) ||
    fail "SIGN_KEY: $SIGN_KEY is no PEM private key (or SIGN_PASS is wrong)"
  cert_public=$(openssl x509 -in "$SIGN_CERT" -noout -pubkey 2>/dev/null) ||
    fail "SIGN_CERT: $SIGN_CERT is no PEM certificate"
  [ "$key_public" = "$cert_public" ] ||
    fail "key and certificate do not match: SIGN_KEY $SIGN_KEY does not belong to the" \
         "first certificate of SIGN_CERT $SIGN_CERT"
  signed=1
else
  signed=
fi

stage=$(mktemp -d "${TMPDIR:-/tmp}/mt-package.XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/out"
cp "$build/MirtakTools.exe" "$stage/MirtakTools.exe"

sign_define=
if [ -n "$signed" ]; then
  "$source_dir/tools/sign-file.sh" "$stage/MirtakTools.exe" || fail "signing the program failed"
  sign_define="-DMT_SIGN=$source_dir/tools/sign-file.sh"
fi

# shellcheck disable=SC2086
makensis -V2 -INPUTCHARSET UTF8 -DMT_DEFINES="$build/generated/release.nsh" \
         -DMT_EXE="$stage/MirtakTools.exe" -DMT_OUTFILE="$stage/out/$setup" $sign_define \
         "$source_dir/installer/MirtakTools.nsi" ||
  fail "makensis failed${signed:+ (signing the uninstaller or the installer, see above)}"
(cd "$stage" && zip -q -X "out/$portable" MirtakTools.exe)
(cd "$stage/out" && sha256sum "$setup" "$portable" >SHA256SUMS)
# All made: now, and only now, they replace what DIST_DIR held.
for f in "$setup" "$portable" SHA256SUMS; do
  mv -f "$stage/out/$f" "$dist/$f"
done

echo "package: $dist/$setup"
echo "package: $dist/$portable"
echo "package: $dist/SHA256SUMS"
if [ -n "$signed" ]; then
  echo "package: signed (program, uninstaller, installer)"
else
  echo "package: UNSIGNED release: the program's update refuses an unsigned installer;" \
       "set SIGN_KEY and SIGN_CERT (or SIGN_PKCS12) to sign it" >&2
fi
