#!/usr/bin/env bash
# Download of a 64 MB file from a stock HTTP server (python3 -m http.server on
# 127.0.0.120:80) four ways: our HttpDownloader; a bare WinINet loop with the
# same request and 1024-byte reads, each after the same query for available
# data; that loop with plain reads alone (all three under Wine); and curl on
# Linux.
#   bench/download/run.sh [build dir]   (default: build/x86_64; uses the build's Wine prefix)
# FYREL_BENCH_ROUNDS (default 3): rounds per way; the best of each is shown.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/x86_64}" && pwd)
work="$build/bench-download"
www="$work/www"
address=127.0.0.120
rounds=${FYREL_BENCH_ROUNDS:-3}
mkdir -p "$www" "$work/out"

file="$www/package64.bin"
[ -f "$file" ] && [ "$(stat -c %s "$file")" -eq $((64 * 1024 * 1024)) ] ||
  head -c $((64 * 1024 * 1024)) /dev/urandom >"$file"

source "$root/bench/stock_server.sh"
serve_folder "$address" "$www" "$work/server.log"

url="http://$address/package64.bin"
out=$("$build/wine-run.sh" "$build/bin/fyrel_bench_download.exe" "$url" "Z:${work//\//\\}\\out" "$rounds")
echo "$out" | grep '^round' || true
ours=$(echo "$out" | sed -n 's/^ours //p')
bare=$(echo "$out" | sed -n 's/^bare //p')
plain=$(echo "$out" | sed -n 's/^plain //p')
cmp -s "$file" "$work/out/ours.bin" || { echo "our download differs from the served file" >&2; exit 1; }
cmp -s "$file" "$work/out/bare.bin" || { echo "bare download differs from the served file" >&2; exit 1; }
cmp -s "$file" "$work/out/plain.bin" || { echo "plain download differs from the served file" >&2; exit 1; }

curl_best=
for _ in $(seq "$rounds"); do
  t=$(curl -s -o "$work/out/curl.bin" -w '%{time_total}' -H 'User-Agent: Mozilla/4.0 (compatible; fyrel)' "$url")
  curl_best=$(awk -v a="$t" -v b="${curl_best:-1e9}" 'BEGIN { printf "%.3f", (a < b) ? a : b }')
done
cmp -s "$file" "$work/out/curl.bin" || { echo "curl download differs from the served file" >&2; exit 1; }

awk -v o="$ours" -v b="$bare" -v p="$plain" -v c="$curl_best" 'BEGIN {
  printf "64 MB from python3 -m http.server, best of '"$rounds"'\n"
  printf "  HttpDownloader     %7.3f s  %7.1f MB/s\n", o, 64 / o
  printf "  bare WinINet loop  %7.3f s  %7.1f MB/s  (query, then 1024-byte read)\n", b, 64 / b
  printf "  plain reads loop   %7.3f s  %7.1f MB/s  (1024-byte reads alone)\n", p, 64 / p
  printf "  curl               %7.3f s  %7.1f MB/s\n", c, 64 / c
  printf "  ours / bare  %.3f   (goal <= 1.1)\n", o / b
  printf "  ours / curl  %.3f\n", o / c
  printf "  bare / curl  %.3f\n", b / c
}'
rm -f "$work/out/"*.bin
