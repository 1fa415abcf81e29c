#!/usr/bin/env bash
# Prints the version resource of a Windows module, one "Name<TAB>value" line
# for each string (FileVersion, ProductName, ...), read back from the file by
# windres. Exits 1 with a message when the module has no version resource.
set -euo pipefail
file=${1:?usage: pe-version.sh MODULE.dll|MODULE.exe}
[ -f "$file" ] || { echo "pe-version: $file: no such file" >&2; exit 1; }
# windres writes every resource of the module back as a resource script;
# the VERSIONINFO's strings are its VALUE "Name", "value" lines.
values=$(i686-w64-mingw32-windres -i "$file" -O rc 2>/dev/null |
  awk '/VERSIONINFO/ {v = 1} v && /^[ \t]*VALUE "[^"]*", "/ {
         line = $0; sub(/^[ \t]*VALUE "/, "", line); name = line; sub(/".*/, "", name)
         sub(/^[^"]*", "/, "", line); sub(/"[ \t]*$/, "", line); print name "\t" line }')
if [ -z "$values" ]; then
  echo "pe-version: $file has no version resource" >&2
  exit 1
fi
echo "$values"
