# Shared steps of ./run. Sourced with the project root as current folder.
jobs=$(nproc)

install_deps() { bash scripts/install-deps.sh; }

# Windows code runs under Wine. This machine may not run 32-bit processes
# at all (some hypervisors have no 32-bit user mode); then Wine runs the
# same sources built for x86_64 and the i686 product is checked statically.
can_run_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
test_arch() { if can_run_32bit; then echo i686; else echo x86_64; fi; }

build_dir() { echo "$root/build/$1"; }

build_windows() {
  local arch=$1 dir; dir=$(build_dir "$arch")
  local tests=ON
  [ "$arch" = "$(test_arch)" ] || tests=OFF
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-w64-mingw32.cmake" \
      -DFYREL_BUILD_TESTS=$tests >/dev/null
  fi
  cmake --build "$dir" -j"$jobs"
}

build_native() {
  local dir; dir=$(build_dir native)
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug >/dev/null
  fi
  cmake --build "$dir" -j"$jobs"
}

build_all() {
  build_native
  build_windows i686
  [ "$(test_arch)" = i686 ] || build_windows x86_64
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
  # The first program that makes a window starts Wine's desktop process,
  # which inherits that program's output and keeps it open for as long as
  # it runs: CTest would then wait minutes for a test that has finished.
  # Start it here, with its output going nowhere.
  "$loader" explorer.exe /desktop >/dev/null 2>&1 </dev/null &
  sleep 1
}
stop_wine() { [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true; }

run_tests() {
  local status=0 arch dir
  arch=$(test_arch); dir=$(build_dir "$arch")
  echo "== native tests (ASan, UBSan) =="
  (cd "$(build_dir native)" && ctest --output-on-failure -j"$jobs") || status=1
  echo "== product checks (i686 DLL) =="
  bash scripts/check-product.sh "$(build_dir i686)/bin/FyrelExtension.dll" || status=1
  echo "== Windows tests under Wine ($arch) =="
  trap 'stop_wine; stop_display' EXIT
  start_display
  start_wine "$dir"
  # A Wine process now and then fails to start at all on a busy machine
  # (no output, no test run), so a failed case gets one more try; a case
  # that fails twice fails the run. The log keeps both attempts.
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 600 --repeat until-pass:2) || status=1
  return $status
}
