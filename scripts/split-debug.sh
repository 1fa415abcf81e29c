#!/usr/bin/env bash
# Splits a module built with debug information into the stripped module that
# ships and its debug information, linked by name and CRC (.gnu_debuglink),
# so a crash address can be symbolized later:
#   split-debug.sh MODULE STRIPPED_OUT DEBUG_OUT
set -euo pipefail
module=${1:?usage: split-debug.sh MODULE STRIPPED_OUT DEBUG_OUT} stripped=${2:?} debug=${3:?}
objcopy=i686-w64-mingw32-objcopy
# objcopy writes a new time into the PE header of what it writes: the
# release's (SOURCE_DATE_EPOCH, the commit's time), else the linker's 0,
# never the clock's.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-0}
$objcopy --only-keep-debug "$module" "$debug"
$objcopy --strip-all --add-gnu-debuglink="$debug" "$module" "$stripped"
