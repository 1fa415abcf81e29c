#!/usr/bin/env bash
# The package's road on a flaky link: the paced link of bench/slowlink
# (tests/network/paced_server.py, 2 MB/s, first byte after 100 ms) on
# 127.0.0.122, with a server that closes every connection after N body bytes.
# Rows for a signed package of 16 MB cut every 1/8 and every 3/4 of its size,
# and for a start the host deletes at 90 % followed by a new start; once with
# a server that honours ranges (strong ETag, "Accept-Ranges: bytes"), once
# with the same server ignoring them (the baseline: every restart from the
# first byte). Each row: installed or not, requests, body bytes sent / package
# size, time from the first EXT_CreateExtension to "STATE_GAME_READY" / the
# same link uncut.
#   bench/flaky/run.sh [build dir]     (default: build/x86_64; needs DISPLAY and the build's Wine prefix)
# FYREL_FLAKY_MB, FYREL_FLAKY_RATE (bytes/s) and FYREL_FLAKY_FIRST_BYTE_MS
# change the set-up.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/x86_64}" && pwd)
mb=${FYREL_FLAKY_MB:-16}
rate=${FYREL_FLAKY_RATE:-2000000}
first_byte_ms=${FYREL_FLAKY_FIRST_BYTE_MS:-100}
address=127.0.0.122
work="$build/bench-flaky"
www="$work/www"
mkdir -p "$www"

pkg="$www/flaky$mb.pkg"
[ -f "$pkg" ] || python3 "$root/bench/e2e/make_package.py" "$pkg" "$build/bin/games/ok/testgame.dll" \
  $((mb * 1024 * 1024)) "$root/keys/dev_private.pem" "$mb" >/dev/null
bytes=$(stat -c %s "$pkg")
url="http://$address/$(basename "$pkg")"

unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
server=""
stop_server() {
  [ -z "$server" ] || { kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; }
  server=""
}
trap stop_server EXIT
start_server() {
  python3 "$root/tests/network/paced_server.py" --bind "$address" --port 80 --folder "$www" \
    --rate "$rate" --first-byte-ms "$first_byte_ms" "$@" 2>"$work/server.log" &
  server=$!
  for _ in $(seq 100); do (exec 3<>"/dev/tcp/$address/80") 2>/dev/null && break; sleep 0.1; done
}

field() { sed -n "s/^$1 //p" | tail -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b == 0) print "-"; else printf "%.3f", a / b }'; }

uncut_ms=""
# row LABEL MODE SERVER_FLAGS...: MODE is "first" or "deleted" (at 90 %, then a new start).
row() {
  local label=$1 mode=$2 out ready installed requests sent
  shift 2
  start_server "$@"
  if [ "$mode" = first ]; then
    out=$("$build/wine-run.sh" "$build/bin/fyrel_bench_e2e.exe" first "$url" bench_flaky || true)
  else
    out=$("$build/wine-run.sh" "$build/bin/fyrel_bench_e2e.exe" interrupted "$url" bench_flaky \
      $((bytes * 9 / 10)) || true)
  fi
  stop_server
  ready=$(field ready_ms <<<"$out")
  installed=$([ -n "$ready" ] && echo yes || echo no)
  requests=$(grep -c '"GET ' "$work/server.log" || true)
  sent=$(sed -n 's/.* sent=\([0-9]*\)$/\1/p' "$work/server.log" | awk '{ s += $1 } END { print s + 0 }')
  [ -n "$uncut_ms" ] || uncut_ms=$ready
  printf '%-44s%10s%10s%14s%14s\n' "$label" "$installed" "$requests" "$(ratio "$sent" "$bytes")" \
    "$(ratio "$ready" "$uncut_ms")"
}

echo "flaky link: $(awk -v b="$bytes" 'BEGIN { printf "%.2f", b / 1e6 }') MB package, paced at" \
  "$(awk -v r="$rate" 'BEGIN { printf "%.1f", r / 1e6 }') MB/s, first byte after $first_byte_ms ms; build: $(basename "$build")"
printf '%-44s%10s%10s%14s%14s\n' "" "installed" "requests" "bytes/size" "time/uncut"
row "uncut (ranges honoured)" first --ranges
eighth=$(((bytes + 7) / 8))
three_quarters=$((bytes * 3 / 4))
row "ranges honoured, cut every 1/8" first --ranges --close-after "$eighth"
row "ranges honoured, cut every 3/4" first --ranges --close-after "$three_quarters"
row "ranges honoured, deleted at 90 %, new start" deleted --ranges
row "ranges ignored, cut every 1/8 (baseline)" first --close-after "$eighth"
row "ranges ignored, cut every 3/4 (baseline)" first --close-after "$three_quarters"
row "ranges ignored, deleted at 90 %, new start" deleted
echo "goal: with ranges honoured, bytes/size <= 1.05 and time/uncut <= 1.15"
echo "time/uncut: from the first EXT_CreateExtension to STATE_GAME_READY, against the uncut row; '-' where not installed."
