#!/bin/sh
# Makes the piece sets of three versions of the splitter under splitter/tests/data/, each with
# the split of its own commit (built natively in a scratch worktree, MakeSet.cpp added to it):
#   v1-kzm      V1 below: the last commit before the digests ("kzm" only)
#   v2-sha256   V2 below: the last commit with SHA-256 records
#   v3-xxh3     the commit checked out here: XXH3-128 record and the recovery piece
# The source is 年度报告.表格: 3 pieces of 4096 bytes and a last one of 1234, made here from a
# fixed formula. Run from anywhere inside the repository; OLD_TREE (default /work/wt-splitter-old)
# is the scratch worktree, removed again at the end.
set -e
V1=b35c824   # "Merge branch 'e2e'": the parent of the commit that added the SHA-256 record
V2=386edb9   # the parent of the commit that moved new sets to XXH3-128
repo=$(git rev-parse --show-toplevel)
data="$repo/splitter/tests/data"
old=${OLD_TREE:-/work/wt-splitter-old}
source="$data/source/年度报告.表格"
mkdir -p "$data/source"
python3 -c "
import sys
n = 3 * 4096 + 1234
open(sys.argv[1], 'wb').write(bytes((i * 131 + (i >> 8) * 7 + 5) % 251 for i in range(n)))
" "$source"

# make COMMIT VERSION NAME: builds make_set in COMMIT's tree and makes the set NAME.
make() {
  tree=$old
  if [ "$1" = HEAD ]; then
    tree=$repo
  else
    [ -d "$old" ] || git -C "$repo" worktree add --detach "$old" "$1"
    git -C "$old" checkout -q --detach "$1"
    git -C "$old" checkout -q -- .
  fi
  cp "$data/MakeSet.cpp" "$tree/splitter/tests/MakeSet.cpp"
  cmake_file="$tree/splitter/CMakeLists.txt"
  cp "$cmake_file" "$cmake_file.keep"
  trap 'mv "$cmake_file.keep" "$cmake_file"; rm -f "$tree/splitter/tests/MakeSet.cpp"' EXIT
  lib=mt_testsupport
  cat >>"$cmake_file" <<CMAKE
add_executable(make_set tests/MakeSet.cpp tests/SplitterTestSupport.cpp)
target_compile_definitions(make_set PRIVATE MT_SET_VERSION=$2)
target_link_libraries(make_set PRIVATE $lib GTest::gtest)
CMAKE
  build="$tree/build/make-set"
  cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
  ninja -C "$build" -j2 make_set >"$build.log" 2>&1 || { cat "$build.log"; exit 1; }
  mv "$cmake_file.keep" "$cmake_file"
  rm -f "$tree/splitter/tests/MakeSet.cpp"
  trap - EXIT
  rm -rf "$data/$3"
  mkdir -p "$data/$3"
  "$build/splitter/make_set" "$source" "$data/$3" 4096
  echo "$3: $(ls "$data/$3" | tr '\n' ' ')"
}

make $V1 1 v1-kzm
make $V2 2 v2-sha256
make HEAD 3 v3-xxh3
rm -rf "$repo/build/make-set"
git -C "$repo" worktree remove --force "$old"
