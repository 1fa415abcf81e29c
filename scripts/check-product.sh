#!/usr/bin/env bash
# Static checks of the shipped DLL: a PE32 for i686 that exports exactly the
# four functions, needs only system DLLs and has ASLR and DEP on.
set -uo pipefail
dll=${1:?usage: check-product.sh FyrelExtension.dll}
objdump=i686-w64-mingw32-objdump
fail=0
check() { if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi; }

headers=$($objdump -p "$dll")
exports=$(echo "$headers" | awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^[ \t]*\[/{print $NF} f&&/^$/{f=0}' | sort | tr '\n' ' ')
imports=$(echo "$headers" | awk '/DLL Name:/{print tolower($3)}' | sort -u | tr '\n' ' ')
characteristics=$(echo "$headers" | awk '/^DllCharacteristics/{print $2}')

check "is a PE32 for i386" '$objdump -f "$dll" | grep -q "file format pei-i386"'
check "exports exactly EXT_CreateExtension EXT_DeleteExtension EXT_ProcessMsg EXT_SendUp" \
  '[ "$exports" = "EXT_CreateExtension EXT_DeleteExtension EXT_ProcessMsg EXT_SendUp " ]'
check "imports only system DLLs ($imports)" \
  '! echo "$imports" | grep -qE "libwinpthread|libstdc\+\+|libgcc"'
check "ASLR (dynamic base) on" '(( 0x$characteristics & 0x40 ))'
check "DEP (NX compatible) on" '(( 0x$characteristics & 0x100 ))'
exit $fail
