#!/usr/bin/env bash
# Two builds of the DLL with its debug information, from checkouts at
# different paths into build folders of different names, at different times,
# one through the compiler cache and one without it, give the same bytes:
# the linked DLL, its import library, and the stripped DLL and debug file
# that a release ships. Debug information is where paths would show, so the
# builds keep it (as ./run dist's does).
#
# usage: reproducible_build_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1 build=$2
work=$build/reproducible
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# As in ./run dist: no ccache base folder, which would hand the compiler
# relative source paths that reach the debug information.
unset CCACHE_BASEDIR
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
configure_and_build() {
  local source=$1 folder=$2
  shift 2
  cmake -S "$source" -B "$folder" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$source/cmake/toolchain-i686-w64-mingw32.cmake" \
    -DFYREL_BUILD_TESTS=OFF -DFYREL_KEEP_DEBUG_INFO=ON -DFYREL_DEVELOPMENT_KEY=ON "$@" >/dev/null &&
    cmake --build "$folder" -j"$(nproc)" --target FyrelExtension >"$folder.log" 2>&1 ||
    { cat "$folder.log"; echo "FAIL: build in $folder"; exit 1; }
}

# The first build stays between runs and goes through the cache: it is
# rebuilt only where the sources changed, so it is also from an earlier time.
mkdir -p "$work"
configure_and_build "$source_dir" "$work/first-build" "${launcher[@]}"

# The second is made afresh from a copy of the sources elsewhere, and
# compiled for real.
other_source=$work/sources-at-another-path
rm -rf "$other_source" "$work/second-folder-of-another-name"
mkdir -p "$other_source"
(cd "$source_dir" && cp -r CMakeLists.txt cmake include keys resources samples scripts src tools "$other_source/")
CCACHE_DISABLE=1 configure_and_build "$other_source" "$work/second-folder-of-another-name"

first=$work/first-build second=$work/second-folder-of-another-name
for built in "$first" "$second"; do
  bash "$source_dir/scripts/split-debug.sh" "$built/bin/FyrelExtension.dll" \
    "$built/FyrelExtension.stripped.dll" "$built/FyrelExtension.dll.debug"
done
for file in bin/FyrelExtension.dll libFyrelExtension.dll.a FyrelExtension.stripped.dll FyrelExtension.dll.debug; do
  if cmp "$first/$file" "$second/$file"; then
    echo "identical: $file ($(stat -c %s "$first/$file") bytes, sha256 $(sha256sum "$first/$file" | cut -c1-16)...)"
  else
    fail "$file differs between the two builds"
  fi
done
# Where they differ, this names the cause: a path of the checkout or of the
# build folder that got into the file.
for path in "$source_dir" "$first" "$other_source" "$second"; do
  grep -q -F "$path" "$second/bin/FyrelExtension.dll" "$first/bin/FyrelExtension.dll" &&
    fail "the DLL holds the path $path"
done

[ $failures = 0 ] && echo "PASS" || echo "$failures failure(s)"
exit $((failures > 0))
