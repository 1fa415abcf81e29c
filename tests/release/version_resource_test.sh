#!/usr/bin/env bash
# Every module the project ships carries a version resource with the
# project's version and its own names; the DLL keeps the loading screen's
# resources as they were; the product check prints the version and refuses
# a DLL without one.
#
# usage: version_resource_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1 build=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
version=$(sed -n 's/^project(FyrelExtension VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
[ -n "$version" ] || { echo "FAIL: no version in $source_dir/CMakeLists.txt"; exit 1; }
echo "project version: $version"

cases=(
  "FyrelExtension.dll|FyrelExtension|Fyrel game loader extension"
  "hostplayer.exe|hostplayer|Fyrel reference host player"
  "paddle.dll|paddle|Fyrel sample game (paddle)"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r file internal description <<<"$entry"
  values=$(bash "$source_dir/scripts/pe-version.sh" "$build/bin/$file") || { fail "$file has no version resource"; continue; }
  echo "$file:"
  echo "$values" | sed 's/^/  /'
  value() { echo "$values" | awk -F'\t' -v n="$1" '$1 == n {print $2}'; }
  expected=(
    "FileVersion|$version" "ProductVersion|$version" "ProductName|FyrelExtension"
    "FileDescription|$description" "OriginalFilename|$file" "InternalName|$internal"
    "CompanyName|The Fyrel project" "LegalCopyright|Copyright (C) The Fyrel project")
  for pair in "${expected[@]}"; do
    name=${pair%%|*} want=${pair#*|}
    [ "$(value "$name")" = "$want" ] || fail "$file: $name is '$(value "$name")', expected '$want'"
  done
done

# The loading screen's own resources (logo, captions) are those of
# resources/fyrel.rc, unchanged beside the version resource.
# windres writes both back as resource scripts; a linked module no longer has
# the memory flags of 16-bit Windows, which mean nothing on Win32.
without_version() {
  awk '/Type: version/ {skip = 1} !skip {print} skip && /^END/ {skip = 0}' | sed 's/ MOVEABLE PURE DISCARDABLE$//'
}
windres=i686-w64-mingw32-windres
if ! diff -B <($windres -I "$source_dir/resources" -i "$source_dir/resources/fyrel.rc" -O rc | without_version) \
          <($windres -i "$build/bin/FyrelExtension.dll" -O rc | without_version) >/dev/null; then
  fail "the DLL's resources besides the version are not those of resources/fyrel.rc"
fi

# The product check prints the version it finds ...
report=$(bash "$source_dir/scripts/check-product.sh" --development "$build/bin/FyrelExtension.dll")
echo "$report"
echo "$report" | grep -q "^ok   has a version resource: FyrelExtension $version$" ||
  fail "check-product.sh did not report version $version"
# ... and fails on a DLL that has none (a test game module: no resources).
unversioned="$build/bin/games/ok/testgame.dll"
report=$(bash "$source_dir/scripts/check-product.sh" --development "$unversioned")
status=$?
echo "$report" | grep -q "^FAIL has a version resource" && [ $status != 0 ] ||
  fail "check-product.sh did not refuse $unversioned, which has no version resource"

[ $failures = 0 ] && echo "PASS" || echo "$failures failure(s)"
exit $((failures > 0))
