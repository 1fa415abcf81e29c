#!/usr/bin/env bash
# Every benchmark, one after the other: the package's whole road (bench/e2e),
# the same on a paced slow link (bench/slowlink) and on a flaky one that cuts
# every connection (bench/flaky), the component benchmarks
# (download, extraction, loading screen) and the full soak (300 lives).
# Figures go to stdout; nothing here passes or fails on a time.
#   scripts/bench.sh [build dir]     (default: i686, the product, where it
#   runs natively; x86_64 where 32-bit runs only under emulation)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/lib.sh
dir=${1:-$(build_dir "$(bench_arch)")}
dir=$(cd "$dir" && pwd)
case $(basename "$dir") in
  i686) if i386_emulated; then
          echo "benchmarks: the i686 build under qemu-i386 emulation: its timings say nothing about the product"
        else
          echo "benchmarks: the i686 build (the product), native 32-bit"
        fi ;;
  x86_64) if i386_emulated; then
            echo "benchmarks: the x86_64 build of the same sources, because 32-bit programs run only under emulation here"
          else
            echo "benchmarks: the x86_64 build of the same sources"
          fi ;;
esac

trap 'stop_wine; stop_display' EXIT
start_display
start_wine "$dir"
status=0

section() { printf '\n== %s ==\n' "$1"; }

section "end to end (bench/e2e)"
bench/e2e/run.sh "$dir" || status=1

if [ -x bench/download/run.sh ]; then
  section "download (bench/download)"
  bench/download/run.sh "$dir" || status=1
fi

section "slow link (bench/slowlink)"
bench/slowlink/run.sh "$dir" || status=1

section "flaky link (bench/flaky)"
bench/flaky/run.sh "$dir" || status=1

section "extraction (bench/extract)"
bench/extract/run.sh "$dir" || status=1

section "installed start check (fyrel_bench_installed)"
"$dir/wine-run.sh" "$dir/bin/fyrel_bench_installed.exe" || status=1

section "loading screen CPU (fyrel_bench_screen)"
"$dir/wine-run.sh" "$dir/bin/fyrel_bench_screen.exe" || status=1

section "soak, 300 lives"
"$dir/wine-run.sh" "$dir/bin/fyrel_soak_tests.exe" --cycles=300 --seed="${FYREL_SOAK_SEED:-$(date +%s)}" |
  grep -E '^soak|FAILED|Failure|error|PASSED|Expected|Which is|actual' || status=1

exit $status
