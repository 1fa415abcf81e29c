#!/usr/bin/env bash
# Download of a 64 MB file from a stock HTTP server (python3 -m http.server on
# 127.0.0.120:80): our HttpDownloader; bare WinHTTP loops with the same
# request, reading 64 KiB or 1 KiB pieces, with the package's hashes, and
# with no file (all under Wine); and curl on Linux.
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
value() { echo "$out" | sed -n "s/^$1 //p"; }
for way in ours bare64 bare1 hashed64; do
  cmp -s "$file" "$work/out/$way.bin" || { echo "the $way download differs from the served file" >&2; exit 1; }
done

curl_best=
for _ in $(seq "$rounds"); do
  t=$(curl -s -o "$work/out/curl.bin" -w '%{time_total}' -H 'User-Agent: Mozilla/4.0 (compatible; fyrel)' "$url")
  curl_best=$(awk -v a="$t" -v b="${curl_best:-1e9}" 'BEGIN { printf "%.3f", (a < b) ? a : b }')
done
cmp -s "$file" "$work/out/curl.bin" || { echo "curl download differs from the served file" >&2; exit 1; }

awk -v o="$(value ours)" -v b="$(value bare64)" -v k="$(value bare1)" -v h="$(value hashed64)" \
    -v f="$(value nofile64)" -v c="$curl_best" 'BEGIN {
  printf "64 MB from python3 -m http.server, best of '"$rounds"'\n"
  printf "  HttpDownloader                 %7.3f s  %7.1f MB/s\n", o, 64 / o
  printf "  bare WinHTTP, 64 KiB pieces    %7.3f s  %7.1f MB/s  (query, read, write)\n", b, 64 / b
  printf "  bare WinHTTP, 1 KiB pieces     %7.3f s  %7.1f MB/s\n", k, 64 / k
  printf "  bare 64 KiB + MD5 + SHA-256    %7.3f s  %7.1f MB/s\n", h, 64 / h
  printf "  bare 64 KiB, no file           %7.3f s  %7.1f MB/s\n", f, 64 / f
  printf "  curl                           %7.3f s  %7.1f MB/s\n", c, 64 / c
  printf "  ours / bare hashed  %.3f\n", o / h
  printf "  ours / curl         %.3f\n", o / c
  printf "  bare 64 KiB / curl  %.3f\n", b / c
}'
rm -f "$work/out/"*.bin
