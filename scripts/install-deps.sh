#!/usr/bin/env bash
# Installs every system package the project needs to build, test, benchmark
# and run the demo. Idempotent: when everything is present it only checks.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 cmake make
  wine wine64 xvfb xauth
  googletest
  gcab openssl cabextract curl python3
  clang clang-format libclang-rt-14-dev
  imagemagick ccache
  squid mitmproxy python3-cryptography
  osslsigncode
)
i386_packages=(wine32:i386)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${packages[@]}" "${i386_packages[@]}"; do
  installed "$p" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "install-deps: missing packages: ${missing[*]} (run as root)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  # The network tests start squid on their own terms: the package must not
  # start the system's service where one could (no policy-rc.d in place).
  no_start=""
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d && no_start=1
    trap 'rm -f /usr/sbin/policy-rc.d' EXIT  # also when the install fails
  fi
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  [ -z "$no_start" ] || { rm -f /usr/sbin/policy-rc.d; trap - EXIT; }
fi

# std::thread and the static runtime need the posix thread model.
for arch in i686 x86_64; do
  for tool in gcc g++; do
    if [ -e "/usr/bin/$arch-w64-mingw32-$tool-posix" ] && \
       [ "$(readlink -f /usr/bin/$arch-w64-mingw32-$tool)" != "$(readlink -f /usr/bin/$arch-w64-mingw32-$tool-posix)" ]; then
      update-alternatives --set "$arch-w64-mingw32-$tool" "/usr/bin/$arch-w64-mingw32-$tool-posix" >/dev/null 2>&1 || true
    fi
  done
done
# Tests, the demo and the benchmarks run the i686 product under 32-bit Wine;
# where the kernel cannot start 32-bit programs, qemu-i386 does.
bash "$(dirname "$0")/install-i386-emulation.sh"
