# Shared steps of ./run. Sourced with the project root as current folder.
jobs=$(nproc)

# Rebuilds and builds of other checkouts on this machine reuse compiled
# objects: paths below the checkout are hashed relative to it.
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
else
  launcher=()
fi

install_deps() { bash scripts/install-deps.sh; }

# The product is the i686 DLL, so tests and the demo run the i686 build
# under 32-bit Wine: natively where the kernel starts 32-bit programs, under
# qemu-i386 elsewhere (scripts/install-i386-emulation.sh). The x86_64 build
# of the same sources is a second configuration that catches pointer-width
# faults; its suite runs too. Timings under emulation say nothing about the
# product, so benchmarks there run the x86_64 build.
test_arch() { echo i686; }
i386_emulated() {
  local entry=/proc/sys/fs/binfmt_misc/qemu-i386
  [ -e "$entry" ] && head -n1 "$entry" | grep -qx enabled
}
bench_arch() { if i386_emulated; then echo x86_64; else echo i686; fi; }

# The machine a PE file is built for, read from its COFF header.
pe_machine() {
  local at kind
  at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  kind=$(od -An -tx2 -j$((at + 4)) -N2 "$1" | tr -d ' ')
  case $kind in 014c) echo "PE32, i386" ;; 8664) echo "PE32+, x86-64" ;; *) echo "machine 0x$kind" ;; esac
}

build_dir() { echo "$root/build/$1"; }

build_windows() {
  local arch=$1 dir; dir=$(build_dir "$arch")
  local tests=ON
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-w64-mingw32.cmake" \
      -DFYREL_BUILD_TESTS=$tests -DFYREL_DEVELOPMENT_KEY=ON "${launcher[@]}" >/dev/null
  fi
  cmake --build "$dir" -j"$jobs"
}

build_native() {
  local dir; dir=$(build_dir native)
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" >/dev/null
  fi
  cmake --build "$dir" -j"$jobs"
}

build_all() {
  build_native
  build_windows i686
  build_windows x86_64
}

# Starts a private Xvfb when no display is given; stopped by stop_display.
xvfb_pid=""
start_display() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${FYREL_OWN_DISPLAY:-}" ]; then return; fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && return 0
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "could not start Xvfb" >&2
  return 1
}
stop_display() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}

# Boots the build's Wine prefix once and keeps its server up for the run.
start_wine() {
  local dir=$1
  export WINEPREFIX="$dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
  local loader=/usr/lib/wine/wine64
  [ "$(basename "$dir")" = i686 ] && loader=/usr/lib/wine/wine
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$loader" wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  wineserver -p >/dev/null 2>&1 || true
  # The first program of a new server boots the prefix: it starts services
  # and device drivers that live as long as the server and hold that
  # program's standard error. Boot it here, waiting for the boot to finish,
  # with the output going nowhere. (Wine's desktop process is no use to start
  # here: it quits a second after the last program using it ends, and the
  # next program to make a window starts another. wine-run.sh keeps each
  # test's output away from it.)
  "$loader" cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
}
stop_wine() { [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true; }

# Runs one Windows build's whole suite under Wine, in its own prefix.
run_wine_suite() {
  local arch=$1 dir status=0; dir=$(build_dir "$arch")
  local how=native
  [ "$arch" = i686 ] && i386_emulated && how="emulated by qemu-i386"
  [ "$arch" = x86_64 ] && how="64-bit, second configuration"
  echo "== Windows tests under Wine: $arch ($how) =="
  start_wine "$dir"
  # A Wine process now and then fails to start at all on a busy machine
  # (no output, no test run), so a failed case gets one more try; a case
  # that fails twice fails the run. The log keeps both attempts.
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 600 --repeat until-pass:2) || status=1
  stop_wine
  return $status
}

run_tests() {
  local status=0 arch
  echo "== native tests (ASan, UBSan) =="
  (cd "$(build_dir native)" && ctest --output-on-failure -j"$jobs") || status=1
  echo "== format (clang-format) =="
  if git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror 2>/dev/null; then
    echo "ok   every C++ file is formatted"
  else
    echo "FAIL files differ from .clang-format (clang-format -i them):"
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | awk -F: '/warning/ {print "  " $1}' | sort -u
    status=1
  fi
  echo "== product checks (i686 DLL) =="
  local dll; dll="$(build_dir i686)/bin/FyrelExtension.dll"
  bash scripts/check-product.sh --development "$dll" || status=1
  # The check itself: told nothing, it must refuse this development build.
  if bash scripts/check-product.sh "$dll" >/dev/null; then
    echo "FAIL the product check passed a DLL that trusts the development key"; status=1
  else
    echo "ok   without --development the product check refuses this build (it trusts the development key)"
  fi
  trap 'stop_wine; stop_display' EXIT
  start_display
  for arch in ${FYREL_TEST_ARCHES:-i686 x86_64}; do
    run_wine_suite "$arch" || status=1
  done
  return $status
}
