#!/usr/bin/env bash
# Fuzzes every target of fuzz/ for SECONDS each (default 60), one after the
# other on one core. Inputs that grow coverage go to a working corpus under
# the build folder (the committed seed corpus stays small); a crash is kept
# under fuzz/regressions/<target>/, which the test run replays from then on.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
shift || true
dir=$root/build/fuzz
if [ ! -f "$dir/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFYREL_FUZZ=ON >/dev/null
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(sed -n '/^set(FYREL_FUZZ_TARGETS/,/)/p' fuzz/CMakeLists.txt | tr -d ' )' | grep -v '^set(' | grep .)
fi
cmake --build "$dir" -j2 --target $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null

dict_for() {
  case "$1" in
    marker_search | package_trailer) echo "-dict=$root/fuzz/marker.dict" ;;
    url_split | startup_parameters) echo "-dict=$root/fuzz/url.dict" ;;
  esac
}
extra_for() {
  # The trailer search only looks at the last 100 KiB: inputs must be able
  # to outgrow that window.
  case "$1" in package_trailer) echo "-max_len=110000" ;; esac
}

status=0
printf '%-20s %8s %12s %8s\n' target seconds executions crashes
for t in "${targets[@]}"; do
  work=$dir/corpus/$t
  crashes=$root/fuzz/regressions/$t
  mkdir -p "$work" "$crashes"
  before=$(find "$crashes" -type f ! -name .keep | wc -l)
  log=$dir/fuzz_$t.log
  # shellcheck disable=SC2046
  "$dir/fuzz/fuzz_$t" "$work" "$root/fuzz/corpus/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$crashes/" $(dict_for "$t") $(extra_for "$t") >"$log" 2>&1 || status=1
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  after=$(find "$crashes" -type f ! -name .keep | wc -l)
  printf '%-20s %8s %12s %8s\n' "$t" "$seconds" "${execs:-?}" "$((after - before))"
  [ "$after" -eq "$before" ] || { status=1; echo "  crash kept in fuzz/regressions/$t/ (log: $log)"; }
done
exit $status
