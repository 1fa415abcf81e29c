#!/usr/bin/env bash
# The package's whole road, through our DLL under Wine and through standard
# tools on Linux, for packages of 1, 64 and 256 MB served by a stock HTTP
# server (python3 -m http.server) on 127.0.0.120:80. Prints one table.
#   bench/e2e/run.sh [build dir]     (default: build/x86_64; needs DISPLAY and the build's Wine prefix)
# FYREL_BENCH_SIZES="1 64" limits the sizes (MB).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/x86_64}" && pwd)
work="$build/bench-e2e"
www="$work/www"
address=127.0.0.120
sizes=${FYREL_BENCH_SIZES:-1 64 256}
mkdir -p "$www" "$work/tools"

key="$root/keys/dev_private.pem"
pub="$work/tools/dev_public.pem"
source "$root/bench/standard_check.sh"
[ -f "$pub" ] || openssl pkey -in "$key" -pubout -out "$pub" 2>/dev/null
for mb in $sizes; do
  pkg="$www/pkg$mb.pkg"
  [ -f "$pkg" ] || python3 "$root/bench/e2e/make_package.py" "$pkg" "$build/bin/games/ok/testgame.dll" \
    $((mb * 1024 * 1024)) "$key" "$mb"
done

source "$root/bench/stock_server.sh"
serve_folder "$address" "$www" "$work/server.log"

seconds() { awk -v ns="$1" 'BEGIN { printf "%.3f", ns / 1e9 }'; }
now() { date +%s%N; }
bench() { "$build/wine-run.sh" "$build/bin/fyrel_bench_e2e.exe" "$@"; }
field() { sed -n "s/^$1 //p" | tail -1; }

# The same work with standard tools, one pipeline: download, cut the trailer
# (first marker in the last 100 KiB, signature stored least significant byte
# first), check the MD5 RSA signature, extract.
theirs() {
  local url=$1 dir=$2 begin end
  rm -rf "$dir" && mkdir -p "$dir/out"
  begin=$(now)
  curl -s -o "$dir/p.pkg" "$url"
  local fetched; fetched=$(now)
  standard_check "$dir/p.pkg" "$pub" "$dir/p.cab"
  local checked; checked=$(now)
  cabextract -q -d "$dir/out" "$dir/p.cab"
  end=$(now)
  echo "$(seconds $((end - begin))) $(seconds $((fetched - begin))) $(seconds $((checked - fetched))) $(seconds $((end - checked)))"
}

rounds_for() { if [ "$1" -ge 256 ]; then echo 1; else echo 3; fi; }
min() { printf '%s\n' "$@" | sort -g | head -1; }

declare -A ours_s theirs_s peak_pf peak_ws before_pf answer answer_game
for mb in $sizes; do
  url="http://$address/pkg$mb.pkg"
  o=() t=() pf=() ws=() an=() ag=()
  for _ in $(seq "$(rounds_for "$mb")"); do
    out=$(bench first "$url" "bench_e2e_$mb")
    o+=("$(awk '{ printf "%.3f", $1 / 1000 }' <<<"$(field ready_ms <<<"$out")")")
    parts=$(for f in download_ms check_ms extract_ms; do field $f <<<"$out"; done | awk '{ printf "%.2f ", $1 / 1000 }')
    pf+=("$(field run_peak_pagefile_kb <<<"$out")")
    ws+=("$(field run_peak_working_set_kb <<<"$out")")
    an+=("$(field answer_longest_ms <<<"$out")")
    ag+=("$(field answer_game_load_ms <<<"$out")")
    echo "  $mb MB: window thread's longest answer $(field answer_longest_ms <<<"$out") ms, after $(field answer_longest_after <<<"$out")" >&2
    before_pf[$mb]=$(field before_peak_pagefile_kb <<<"$out")
    tl=$(theirs "$url" "$work/theirs")
    t+=("${tl%% *}")
    echo "  $mb MB stages (download check extract): ours $parts s; tools ${tl#* } s" >&2
  done
  ours_s[$mb]=$(min "${o[@]}") theirs_s[$mb]=$(min "${t[@]}")
  peak_pf[$mb]=$(printf '%s\n' "${pf[@]}" | sort -n | tail -1)
  peak_ws[$mb]=$(printf '%s\n' "${ws[@]}" | sort -n | tail -1)
  answer[$mb]=$(printf '%s\n' "${an[@]}" | sort -g | tail -1)
  answer_game[$mb]=$(printf '%s\n' "${ag[@]}" | sort -g | tail -1)
  echo "  $mb MB: ours ${o[*]} s, tools ${t[*]} s, peak private ${pf[*]} KiB, peak working set ${ws[*]} KiB" >&2
done
rm -rf "$work/theirs"

# The platform's own floor on the 64 MB package (or the largest measured):
# bare WinHTTP loops with the worker's request and 64 KiB reads, with no
# file, and with a file and the package's two hashes (bench/download).
probe=64
case " $sizes " in *" 64 "*) ;; *) probe=$(printf '%s\n' $sizes | sort -n | tail -1) ;; esac
mkdir -p "$work/floor"
floor=$("$build/wine-run.sh" "$build/bin/fyrel_bench_download.exe" "http://$address/pkg$probe.pkg" \
  "Z:${work//\//\\}\\floor" 2)
rm -rf "$work/floor"
floor_nofile=$(awk '{ printf "%.0f", $1 * 1000 }' <<<"$(field nofile64 <<<"$floor")")
floor_hashed=$(awk '{ printf "%.0f", $1 * 1000 }' <<<"$(field hashed64 <<<"$floor")")
curl_times=()
for _ in 1 2 3; do
  b=$(now); curl -s -o "$work/curl.bin" "http://$address/pkg$probe.pkg"; e=$(now)
  curl_times+=("$(awk -v ns=$((e - b)) 'BEGIN { printf "%.0f", ns / 1e6 }')")
done
rm -f "$work/curl.bin"
curl_ms=$(min "${curl_times[@]}")

# An installed package: creation to "STATE_GAME_STARTED", less the screen's
# 1000 ms slide-in and 1000 ms slide-out (the 400 ms hold is passed at once
# when the game is ready before the slide-in ends, as it always is here).
first=$(printf '%s\n' $sizes | sort -n | head -1)
inst=$(bench installed "http://$address/pkg$first.pkg" "bench_e2e_$first" 15)
inst_med=$(field installed_started_median_ms <<<"$inst")
inst_min=$(field installed_started_min_ms <<<"$inst")
inst_max=$(field installed_started_max_ms <<<"$inst")
inst_created=$(field installed_created_median_ms <<<"$inst")
inst_answer=$(field installed_answer_longest_ms <<<"$inst")
inst_answer_game=$(field installed_answer_game_load_ms <<<"$inst")

echo
echo "end to end: EXT_CreateExtension -> STATE_GAME_READY (ours, Wine) vs curl | cut | openssl dgst -md5 -verify | cabextract (tools, Linux)"
printf '%-10s' "size"
printf '%14s' "ours (s)" "tools (s)" "ratio" "goal" "peak priv KiB" "peak WS KiB"
echo
for mb in $sizes; do
  printf '%-10s' "${mb} MB"
  printf '%14s' "${ours_s[$mb]}" "${theirs_s[$mb]}" \
    "$(awk -v a="${ours_s[$mb]}" -v b="${theirs_s[$mb]}" 'BEGIN { printf "%.2f", a / b }')" \
    "$([ "$mb" -ge 64 ] && echo "<= 1.30" || echo "-")" "${peak_pf[$mb]}" "${peak_ws[$mb]}"
  echo
done
big=$(printf '%s\n' $sizes | sort -n | tail -1)
echo "peak private memory: ${before_pf[$first]} KiB before creation; ${peak_pf[$big]} KiB at $big MB vs ${peak_pf[$first]} KiB at $first MB: $(( (peak_pf[$big] - peak_pf[$first]) )) KiB more (goal <= 2048)"
echo "before (the issue's measure): 64 MB 2.53, 256 MB 2.99"
echo "the platform's floor at $probe MB: WinHTTP's reads alone (64 KiB, no file) ${floor_nofile} ms; with the file and both"
echo "  hashes ${floor_hashed} ms; curl ${curl_ms} ms (Wine's WinHTTP, not a Windows figure: see bench/download)"
echo "installed package, creation -> STATE_GAME_STARTED: median ${inst_med} ms (min ${inst_min}, max ${inst_max}), game created after ${inst_created} ms"
awk -v m="$inst_med" 'BEGIN { printf "loader overhead beyond the 2000 ms animation: %.1f ms (goal < 50)\n", m - 2000 }'

# The host's window thread: the longest wait for an answer to a watchdog's
# WM_NULL (every 20 ms), the worst of the rounds; the game's own load (its
# CreateFyrelGame, on the window thread as games expect) apart.
echo
echo "window thread, longest answer to a watchdog's WM_NULL (goal <= 50 ms, the game's own load apart)"
printf '%-12s%16s%16s%s\n' "start" "longest (ms)" "game load (ms)" "   before (issue's measure, before the check left the window thread)"
declare -A answer_before=([1]="40" [64]="-" [160]="240" [256]="419, 552, 669")
for mb in $sizes; do
  printf '%-12s%16s%16s   %s\n' "first ${mb} MB" "${answer[$mb]}" "${answer_game[$mb]}" "${answer_before[$mb]:--}"
done
printf '%-12s%16s%16s   %s\n' "installed" "$inst_answer" "$inst_answer_game" "-"
