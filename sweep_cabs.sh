#!/usr/bin/env bash
# One hostplayer start per hostile package (served from /tmp/hcabs on 127.0.0.3).
cd "$(dirname "$0")"; . ./std.sh
C=/work/wt-hostile/build/i686/wineprefix/drive_c
for name in "$@"; do
  [ -z "$KEEP" ] && rm -rf "$PFX/hostile"
  out=$("$HP" "${STD[@]}" --set gamecab=http://127.0.0.3/$name.cab --timeout ${TMO:-60} 2>&1); rc=$?
  echo "=== $name rc=$rc: $(echo "$out" | awk -F'\t' '{print $3}' | tr '\n' ' ')"
  (cd "$PFX/hostile/paddle/en-US" 2>/dev/null && find . | head -8 | tr '\n' ' '); echo
  find $C -iname '*escaped*' 2>/dev/null
done
