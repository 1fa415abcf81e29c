#!/usr/bin/env bash
# Static checks of the shipped DLL: a PE32 for i686 that exports exactly the
# four functions, needs only system DLLs and has ASLR and DEP on, carries a
# version resource with the project's version (printed), and does not trust
# the published development key unless told it is a development build
# (--development).
set -uo pipefail
development=""
[ "${1:-}" = --development ] && { development=1; shift; }
dll=${1:?usage: check-product.sh [--development] FyrelExtension.dll}
here=$(dirname "$0")
dev_key=$here/../keys/dev_public.blob
project_version=$(sed -n 's/^project(FyrelExtension VERSION \([0-9.]*\).*/\1/p' "$here/../CMakeLists.txt")
objdump=i686-w64-mingw32-objdump
fail=0
check() { if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi; }

headers=$($objdump -p "$dll")
exports=$(echo "$headers" | awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^[ \t]*\[/{print $NF} f&&/^$/{f=0}' | sort | tr '\n' ' ')
imports=$(echo "$headers" | awk '/DLL Name:/{print tolower($3)}' | sort -u | tr '\n' ' ')
characteristics=$(echo "$headers" | awk '/^DllCharacteristics/{print $2}')
relocations=$(echo "$headers" | awk '/^Entry 5 /{print $4}')
# A section that is code and not read-only can be written and run.
writable_code=$($objdump -h "$dll" | awk '/^ *[0-9]+ /{name=$2; next} /CODE/ && !/READONLY/{print name}' | tr '\n' ' ')

check "is a PE32 for i386" '$objdump -f "$dll" | grep -q "file format pei-i386"'
check "exports exactly EXT_CreateExtension EXT_DeleteExtension EXT_ProcessMsg EXT_SendUp" \
  '[ "$exports" = "EXT_CreateExtension EXT_DeleteExtension EXT_ProcessMsg EXT_SendUp " ]'
check "imports only system DLLs ($imports)" \
  '! echo "$imports" | grep -qE "libwinpthread|libstdc\+\+|libgcc"'
check "ASLR (dynamic base) on" '(( 0x$characteristics & 0x40 ))'
check "DEP (NX compatible) on" '(( 0x$characteristics & 0x100 ))'
# The dynamic-base flag means nothing without relocations to move the image by.
check "base relocations present" '[ -n "$relocations" ] && (( 0x$relocations > 0 ))'
check "no section both writable and executable${writable_code:+ ($writable_code)}" '[ -z "$writable_code" ]'
# What Explorer's Details tab, installers and crash reports show.
version_info=$(bash "$here/pe-version.sh" "$dll" 2>/dev/null)
version_value() { echo "$version_info" | awk -F'\t' -v n="$1" '$1 == n {print $2}'; }
file_version=$(version_value FileVersion) product_version=$(version_value ProductVersion)
check "has a version resource: $(version_value ProductName) ${file_version:-(none)}" '[ -n "$file_version" ]'
check "FileVersion and ProductVersion are the project's version $project_version" \
  '[ "$file_version" = "$project_version" ] && [ "$product_version" = "$project_version" ]'
# The key is compiled in as its 148 blob bytes, in one piece.
embeds_dev_key() { python3 -c 'import sys; sys.exit(0 if open(sys.argv[1],"rb").read() in open(sys.argv[2],"rb").read() else 1)' "$dev_key" "$dll"; }
if [ -n "$development" ]; then
  check "development build: trusts the development key" 'embeds_dev_key'
else
  check "does not trust the published development key" '! embeds_dev_key'
fi
exit $fail
