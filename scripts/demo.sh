#!/usr/bin/env bash
# The main job, end to end: package and sign the sample game with the
# development key, serve it over HTTP on loopback, and let the reference host
# load it twice: a first start (download, signature check, extraction) and
# an installed start (no download). Snapshots land in out/demo/.
#
# ./run demo builds first and then runs this. Options:
#   --build-dir DIR  the Windows build to run (default: build/<test arch>)
#   --address IP     loopback address to serve on, port 80 (default 127.0.0.100)
#   --out DIR        where the snapshots go (default out/demo)
#   --core           use the display and Wine prefix already set up by the
#                    caller (the test suite) instead of starting and stopping them
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib.sh

build="" address=127.0.0.100 out="$root/out/demo" core=""
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) build=$(cd "$2" && pwd); shift 2 ;;
    --address) address=$2; shift 2 ;;
    --out) mkdir -p "$2"; out=$(cd "$2" && pwd); shift 2 ;;
    --core) core=1; shift ;;
    *) echo "usage: scripts/demo.sh [--build-dir DIR] [--address IP] [--out DIR] [--core]" >&2; exit 3 ;;
  esac
done
[ -n "$build" ] || build=$(build_dir "$(test_arch)")
for needed in "$build/bin/hostplayer.exe" "$build/bin/FyrelExtension.dll" "$build/bin/paddle.dll" "$build/wine-run.sh"; do
  [ -e "$needed" ] || { echo "demo: $needed is missing; build first (./run demo)" >&2; exit 1; }
done

started=$(date +%s.%N)
work=$(mktemp -d "${TMPDIR:-/tmp}/fyrel-demo.XXXXXX")
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  if [ -z "$core" ]; then stop_wine; stop_display; fi
  rm -rf "$work"
}
trap cleanup EXIT

step() { printf '\n== %s\n' "$*"; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }

arch=$(basename "$build")
case $arch in
  i686) if i386_emulated; then how="32-bit, under qemu-i386 emulation"; else how="32-bit, native"; fi ;;
  *) how="not the shipped build" ;;
esac
echo "demo: running the $arch build ($how): $build"
for f in FyrelExtension.dll hostplayer.exe paddle.dll; do
  echo "demo:   $f: $(pe_machine "$build/bin/$f")"
done

step "Packaging and signing the sample game (tools/fyrel-sign pack, development key)"
mkdir -p "$work/game" "$work/www"
cp "$build/bin/paddle.dll" "$work/game/"
tools/fyrel-sign pack "$work/game" "$work/www/paddle_1.cab" --key keys/dev_private.pem
tools/fyrel-sign verify "$work/www/paddle_1.cab" --blob keys/dev_public.blob

step "Serving it at http://$address/paddle_1.cab (python3 -m http.server)"
python3 -m http.server --bind "$address" 80 --directory "$work/www" >"$work/http.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/$address/80") 2>/dev/null && break
  kill -0 "$server_pid" 2>/dev/null || { cat "$work/http.log" >&2; exit 1; }
  sleep 0.1
done
downloads() { grep -c '"GET /paddle_1.cab' "$work/http.log" || true; }

if [ -z "$core" ]; then
  start_display
  start_wine "$build"
fi
prefix=${WINEPREFIX:-${FYREL_WINEPREFIX:-$build/wineprefix}}
# The player's machine as Wine sees it: C:\ProgramData is its common data folder.
installed="$prefix/drive_c/ProgramData/Fyrel/FyrelGamesPlayer/fyrel-demo"
rm -rf "$installed" "$out/first" "$out/second"

host_args=(
  --set gamename=paddle --set partnername=fyrel-demo --set language=en --set country=US
  --set "gamecab=http://$address/paddle_1.cab" --set gamewidth=640 --set gameheight=480
  --set localURL=www.fyrel.example --set playername=Demo
  --linger-ms 2500 --timeout 60 --times)

# run_player NAME: runs the host and prints its notifications, with their
# times, as they arrive (stdbuf: line by line through wine-run.sh's filter).
run_player() {
  local name=$1 status
  set +e
  FYREL_WINEPREFIX=$prefix stdbuf -oL "$build/wine-run.sh" "$build/bin/hostplayer.exe" "${host_args[@]}" \
    --snapshot-dir "$(winpath "$out/$name")" 2>"$work/$name.err" | tee "$work/$name.out" |
    awk -F'\t' '{ printf "  %7.3f s  %-14s %s\n", $1, $2, $3; fflush() }'
  status=${PIPESTATUS[0]}
  set -e
  if [ "$status" != 0 ]; then
    echo "demo: hostplayer exited with $status" >&2
    cat "$work/$name.err" >&2
    exit 1
  fi
}

step "First start: nothing installed yet (window on DISPLAY=${DISPLAY:-none})"
run_player first
[ "$(downloads)" = 1 ] || { echo "demo: the first start did not download the package" >&2; exit 1; }
grep -q $'\tSTATE_EXTRACTING$' "$work/first.out" || { echo "demo: the first start did not extract" >&2; exit 1; }

step "Second start: the game is installed, so no download"
run_player second
[ "$(downloads)" = 1 ] || { echo "demo: the second start downloaded again" >&2; exit 1; }

step "Installed in the Wine prefix"
(cd "$installed" && find . -type f | sort | sed 's/^\./  fyrel-demo/')

step "Snapshots"
for run in first second; do
  echo "  $out/$run/:"
  (cd "$out/$run" && ls | sed 's/^/    /')
done
awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "\nDemo finished in %.1f s.\n", b - a }'
