#!/bin/sh
# Checks that the C and C++ sources are laid out as .clang-format says: every tracked *.cpp,
# *.h and *.c except third-party code, generated files and test data. Prints the files that
# clang-format would change and exits 1; exits 0 when there are none, 2 when it cannot check.
#   tools/check-format.sh         the files of this checkout
#   tools/check-format.sh DIR     the same files (by their paths in this repository) in DIR,
#                                 a copy of the tree, against this checkout's .clang-format
#   CLANG_FORMAT                  the program (default clang-format-14, else clang-format)
# Only clang-format 14, Debian 12's, is accepted: other versions lay some code out otherwise.
# Fix a file with: clang-format-14 -i FILE
repo=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$repo}
[ -d "$dir" ] || { echo "check-format: no folder $dir" >&2; exit 2; }
dir=$(cd "$dir" && pwd)

if [ -z "$CLANG_FORMAT" ]; then
  if command -v clang-format-14 >/dev/null 2>&1; then CLANG_FORMAT=clang-format-14
  else CLANG_FORMAT=clang-format; fi
fi
if ! command -v "$CLANG_FORMAT" >/dev/null 2>&1; then
  echo "check-format: $CLANG_FORMAT not found; tools/install-deps.sh installs clang-format 14" >&2
  exit 2
fi
version=$("$CLANG_FORMAT" --version 2>/dev/null)
major=$(echo "$version" | sed -n 's/.*clang-format version \([0-9][0-9]*\)\..*/\1/p')
if [ "$major" != 14 ]; then
  echo "check-format: refusing to check with ${version:-$CLANG_FORMAT (no version)}:" >&2
  echo "  the layout is defined by clang-format 14 (Debian 12's); other versions disagree." >&2
  echo "  Install it (tools/install-deps.sh) or point CLANG_FORMAT at a clang-format 14." >&2
  exit 2
fi

# Third-party code, generated files and test data keep the layout they came with.
files=$(git -C "$repo" ls-files -- '*.cpp' '*.h' '*.c' |
        grep -Ev '(^|/)(third_party|thirdparty|external|generated)/|^tests/data/') || true
[ -n "$files" ] || { echo "check-format: no sources found in $repo" >&2; exit 2; }

cd "$dir" || exit 2
missing=
for f in $files; do [ -f "$f" ] || missing="$missing $f"; done
[ -z "$missing" ] || { echo "check-format: missing in $dir:$missing" >&2; exit 2; }

# One run over all files; every difference is reported as "FILE:LINE:COL: error: ...".
# shellcheck disable=SC2086
report=$("$CLANG_FORMAT" --style="file:$repo/.clang-format" --dry-run --Werror $files 2>&1)
rc=$?
bad=$(echo "$report" |
      sed -n 's/^\(.*\):[0-9][0-9]*:[0-9][0-9]*: error: code should be clang-formatted.*/\1/p' |
      sed "s|^$dir/||" | sort -u)
if [ -n "$bad" ]; then
  count=$(echo "$bad" | wc -l)
  echo "$bad"
  echo "check-format: $count file(s) not formatted ($CLANG_FORMAT -i FILE fixes one)" >&2
  exit 1
fi
if [ $rc != 0 ]; then
  echo "$report" >&2
  echo "check-format: $CLANG_FORMAT failed" >&2
  exit 2
fi
echo "check-format: $(echo "$files" | wc -l) files formatted"
