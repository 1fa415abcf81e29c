#!/usr/bin/env bash
# Extracts the same 64 MB MSZIP cabinet (gcab -z, compressible and
# incompressible files) with our CabExtractor under Wine and with cabextract
# on Linux, and prints both times and their ratio (goal: at most 1.5).
#   bench/extract/run.sh [build dir]     (default: build/x86_64)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/x86_64}" && pwd)
work="$build/bench-extract"
cabinet="$work/bench.cab"
mkdir -p "$work"

if [ ! -f "$cabinet" ]; then
  rm -rf "$work/src"
  python3 - "$work/src" <<'PY'
import os, random, sys
out = sys.argv[1]
rng = random.Random(64)
words = [bytes(rng.choice(b'abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9))) for _ in range(3000)]
total, i = 0, 0
while total < 64 * 1024 * 1024:
    size = rng.randint(200_000, 3_000_000)
    if i % 2 == 0:  # text-like, compresses well
        parts, n = [], 0
        while n < size:
            w = rng.choice(words) + (b'\n' if rng.random() < 0.1 else b' ')
            parts.append(w); n += len(w)
        body = b''.join(parts)[:size]
    else:  # incompressible
        body = rng.randbytes(size)
    body = body[:64 * 1024 * 1024 - total]
    path = os.path.join(out, 'dir%d' % (i % 4), 'file%03d.bin' % i)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(body)
    total += len(body); i += 1
PY
  (cd "$work/src" && find . -type f | sed 's|^\./||' | sort | xargs gcab -c -z "$cabinet")
fi

run_ours() {
  rm -rf "$work/ours" && mkdir -p "$work/ours"
  "$build/wine-run.sh" "$build/bin/fyrel_bench_extract.exe" "Z:${cabinet//\//\\}" "Z:${work//\//\\}\\ours" | cut -d' ' -f1
}
run_cabextract() {
  rm -rf "$work/theirs" && mkdir -p "$work/theirs"
  local begin end
  begin=$(date +%s%N)
  cabextract -q -d "$work/theirs" "$cabinet"
  end=$(date +%s%N)
  awk -v ns=$((end - begin)) 'BEGIN { printf "%.3f\n", ns / 1e9 }'
}

# One warm-up each (page cache, Wine prefix), then five rounds taking turns,
# so that load from elsewhere falls on both alike; the best of each counts.
run_ours >/dev/null
run_cabextract >/dev/null
ours_times=() theirs_times=()
for _ in 1 2 3 4 5; do
  ours_times+=("$(run_ours)")
  theirs_times+=("$(run_cabextract)")
done
ours=$(printf '%s\n' "${ours_times[@]}" | sort -n | head -1)
theirs=$(printf '%s\n' "${theirs_times[@]}" | sort -n | head -1)
cmp -s <(cd "$work/ours" && find . -type f -exec md5sum {} + | sort -k2) \
       <(cd "$work/theirs" && find . -type f -exec md5sum {} + | sort -k2) ||
  { echo "the two extractions differ" >&2; exit 1; }

echo "cabinet: $(du -m "$cabinet" | cut -f1) MB packed, $(du -sm "$work/src" | cut -f1) MB unpacked"
echo "CabExtractor (Wine): ${ours} s   (runs: ${ours_times[*]})"
echo "cabextract (Linux):  ${theirs} s   (runs: ${theirs_times[*]})"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio: %.2f (goal <= 1.5)\n", a / b }'
rm -rf "$work/ours" "$work/theirs"
