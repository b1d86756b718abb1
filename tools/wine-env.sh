# Sourced by the Wine scripts: the environment every Wine process of this project runs in.
#   . tools/wine-env.sh        (WINEPREFIX is set by the caller)
export WINEDEBUG="${WINEDEBUG:--all}"   # silences fixme/err spam and the wine32 hint
# No Mono and no Gecko: wineboot would otherwise try to install them. The program creates its
# one embedded browser control only when the chat link is clicked, and tests use a stand-in.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine derives the ANSI code page from the Unix locale: zh_CN.UTF-8 gives 936 (GBK) as on a
# Chinese Windows; under C.UTF-8 it would be 1252 and Chinese text in ANSI files turns to "??".
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
unset LANGUAGE
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\{0,1\}8'; then
  # Not generated system-wide (tools/install-deps.sh does that as root): build a private copy.
  export LOCPATH="${XDG_CACHE_HOME:-$HOME/.cache}/mirtak-locale"
  if [ ! -d "$LOCPATH/zh_CN.UTF-8" ]; then
    mkdir -p "$LOCPATH"
    (
      flock 8
      [ -d "$LOCPATH/zh_CN.UTF-8" ] ||
        LC_ALL=C localedef -i zh_CN -f UTF-8 "$LOCPATH/zh_CN.UTF-8" >/dev/null 2>&1 ||
        echo "wine-env: no zh_CN.UTF-8 locale; run tools/install-deps.sh as root" >&2
    ) 8>"$LOCPATH/.lock"
  fi
fi
