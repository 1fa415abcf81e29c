#!/usr/bin/env bash
# Runs part of one Windows build's suite under Wine, for work on a change:
#   scripts/ctest.sh i686 -R 'Download|CabExtractor'
# Starts a private display and the build's Wine prefix, passes the remaining
# arguments to ctest, then stops both. Build first (./run build).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/lib.sh
arch=${1:?usage: scripts/ctest.sh ARCH [ctest arguments]}
shift
dir=$(build_dir "$arch")
trap 'stop_wine; stop_display' EXIT
start_display
start_wine "$dir"
cd "$dir" && ctest --output-on-failure --timeout 600 "$@"
