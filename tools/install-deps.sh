#!/bin/sh
# Installs the Debian 12 packages that building, running and testing need, and a zh_CN.UTF-8
# locale for Wine (ANSI code page 936). openssl and osslsigncode sign the update's test
# installers with throw-away keys when the tests run; libssl-dev gives
# the native build its SHA-256 (libcrypto); nlohmann-json3-dev and libxxhash-dev are
# header-only libraries both trees compile in; nsis and zip make the release packages;
# clang-format (14) checks the sources' layout (tools/check-format.sh). Only what is missing
# is installed, so a second run costs a few dpkg look-ups and prints nothing.
#   tools/install-deps.sh          (as root, or with everything already present)
# Recommends are kept on purpose: they bring fonts-wine, xauth and the X/GnuTLS libraries
# that Wine loads at run time.
set -e
PACKAGES="cmake ninja-build g++ googletest python3 g++-mingw-w64-x86-64-posix
          wine wine64 xvfb xauth xdotool imagemagick fonts-wqy-zenhei locales
          openssl osslsigncode libssl-dev nlohmann-json3-dev libxxhash-dev nsis zip
          python3-pefile clang-format"

# One dpkg query for all of them (the status of each, as dpkg -s would report it).
# shellcheck disable=SC2086
installed=$(dpkg-query -W -f='${db:Status-Status} ${Package}\n' $PACKAGES 2>/dev/null |
            sed -n 's/^installed //p')
missing=""
for p in $PACKAGES; do
  echo "$installed" | grep -qx "$p" || missing="$missing $p"
done

has_locale() { locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\{0,1\}8'; }

need_root() {
  if [ "$(id -u)" != 0 ]; then
    echo "install-deps: $1; run tools/install-deps.sh as root" >&2
    exit 1
  fi
}

if [ -n "$missing" ]; then
  need_root "missing packages:$missing"
  echo "install-deps: installing$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq $missing
fi

if ! has_locale; then
  need_root "locale zh_CN.UTF-8 is missing"
  echo "install-deps: generating locale zh_CN.UTF-8"
  if grep -q '^# *zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  elif ! grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  fi
  locale-gen >/dev/null
  has_locale || { echo "install-deps: locale-gen did not produce zh_CN.UTF-8" >&2; exit 1; }
fi
