#!/usr/bin/env bash
set -euo pipefail
root=$(pwd)
source scripts/lib.sh

cmd=${1:-test}
shift || true
case "$cmd" in
  build) install_deps; build_all ;;
  test) install_deps; build_all; run_tests ;;
  demo) install_deps; build_windows i686; exec scripts/demo.sh "$@" ;;
  bench) install_deps; build_all; exec scripts/bench.sh "$@" ;;
  fuzz) install_deps; exec scripts/fuzz.sh "$@" ;;
  dist) install_deps; exec scripts/dist.sh "$@" ;;
  *) echo "usage: ./run {test|demo|bench|fuzz [SECONDS]|build|dist (--key PUBLIC.blob|--development) [...]}" >&2; exit 3 ;;
esac
