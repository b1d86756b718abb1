#!/bin/sh
# sign-file.sh FILE: Authenticode-signs FILE in place with osslsigncode (SHA-256), with the
# key named by the environment (tools/package.sh checks that one of the two is complete):
#   SIGN_KEY + SIGN_CERT   a PEM private key and its certificate (with the chain, if any)
#   SIGN_PKCS12            a PKCS#12 file instead; SIGN_PASS its password, if it has one
#   SIGN_TIMESTAMP_URL     an RFC 3161 time-stamp server, when given
# The makensis of the release calls it for the uninstaller and the installer.
set -eu
file=$1
set -- sign -h sha256 -n "Mirtak小工具合集"
if [ -n "${SIGN_PKCS12:-}" ]; then
  set -- "$@" -pkcs12 "$SIGN_PKCS12"
else
  set -- "$@" -certs "$SIGN_CERT" -key "$SIGN_KEY"
fi
[ -n "${SIGN_PASS:-}" ] && set -- "$@" -pass "$SIGN_PASS"
[ -n "${SIGN_TIMESTAMP_URL:-}" ] && set -- "$@" -ts "$SIGN_TIMESTAMP_URL"
rm -f "$file.signed"
if ! osslsigncode "$@" -in "$file" -out "$file.signed" >"$file.sign.log" 2>&1; then
  # One line: osslsigncode's first own complaint, not the decoder messages of OpenSSL below it.
  why=$(grep -v -e '^[0-9A-F]\{8,\}:' -e '^$' "$file.sign.log" | head -n 1)
  rm -f "$file.signed" "$file.sign.log"
  echo "sign-file: signing $file failed${why:+: $why}" >&2
  exit 1
fi
rm -f "$file.sign.log"
mv "$file.signed" "$file"
