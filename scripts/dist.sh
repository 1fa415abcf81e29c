#!/usr/bin/env bash
# ./run dist: the release a host team takes. Builds the release configuration
# of the i686 product and writes
#   dist/FyrelExtension-<version>-i686[-development].zip  and  dist/SHA256SUMS
# Two runs on the same commit give the same bytes, wherever the checkout is
# and whenever they run (unless signed: a signature is the signer's own).
#
# Options:
#   --key PUBLIC.blob   the release key the DLL trusts (tools/fyrel-sign genkey)
#   --development       trust the published development key instead; the
#                       archive's name and README say so
#   --sign-cert CERT.pem --sign-key KEY.pem
#                       Authenticode-sign FyrelExtension.dll and hostplayer.exe
#   --timestamp URL     the publisher's RFC 3161 time-stamping service for the
#                       signatures (a release should give one)
#   --build-dir DIR     where to build (default build/dist-i686)
#   --out DIR           where to write (default dist)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source scripts/lib.sh
# With a base folder, ccache hands the compiler relative source paths, which
# then reach the debug information; without, the compiler sees what it would
# see without ccache, so a cached and an uncached dist give the same bytes.
unset CCACHE_BASEDIR

usage="usage: ./run dist (--key PUBLIC.blob | --development) [--sign-cert CERT.pem --sign-key KEY.pem [--timestamp URL]] [--build-dir DIR] [--out DIR]"
key="" development="" sign_cert="" sign_key="" timestamp="" build="$root/build/dist-i686" out="$root/dist"
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
while [ $# -gt 0 ]; do
  case $1 in
    --key) key=$(absolute "${2:?$usage}"); shift 2 ;;
    --development) development=1; shift ;;
    --sign-cert) sign_cert=$(absolute "${2:?$usage}"); shift 2 ;;
    --sign-key) sign_key=$(absolute "${2:?$usage}"); shift 2 ;;
    --timestamp) timestamp=${2:?$usage}; shift 2 ;;
    --build-dir) mkdir -p "${2:?$usage}"; build=$(cd "$2" && pwd); shift 2 ;;
    --out) mkdir -p "${2:?$usage}"; out=$(cd "$2" && pwd); shift 2 ;;
    *) echo "$usage" >&2; exit 3 ;;
  esac
done
fail() { echo "dist: $*" >&2; exit 1; }
[ -z "$key" ] || [ -z "$development" ] || fail "--key and --development exclude each other"
[ -z "$key" ] || [ -f "$key" ] || fail "$key: no such file"
[ -z "$sign_cert$sign_key" ] || { [ -f "$sign_cert" ] && [ -f "$sign_key" ]; } ||
  fail "signing needs both --sign-cert CERT.pem and --sign-key KEY.pem"
[ -z "$timestamp" ] || [ -n "$sign_cert" ] || fail "--timestamp needs --sign-cert and --sign-key"

# Everything that would otherwise take the clock takes the commit's time.
commit=$(git rev-parse HEAD 2>/dev/null) || fail "not a git checkout: the build takes its time from the commit"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
dirty=""
git diff --quiet HEAD -- || { dirty=" with uncommitted changes"; echo "dist: warning: the checkout has uncommitted changes" >&2; }

# Without a key, configure stops with its own message on how to pass one.
key_options=(-DFYREL_PUBLIC_KEY_BLOB="$key" -DFYREL_DEVELOPMENT_KEY=OFF)
[ -z "$development" ] || key_options=(-DFYREL_PUBLIC_KEY_BLOB= -DFYREL_DEVELOPMENT_KEY=ON)
echo "== Configuring the release build in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" \
  -DFYREL_BUILD_TESTS=OFF -DFYREL_KEEP_DEBUG_INFO=ON "${key_options[@]}" "${launcher[@]}" >/dev/null ||
  fail "configure stopped (see above); ./run dist names the key by --key PUBLIC.blob or --development"
echo "== Building"
cmake --build "$build" -j"$jobs" --target FyrelExtension hostplayer paddle

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
trusted_blob=$(sed -n 's/^FYREL_PUBLIC_KEY_BLOB:FILEPATH=//p' "$build/CMakeCache.txt")
name="FyrelExtension-$version-i686${development:+-development}"
stage="$build/stage/$name"
echo "== Collecting $name"
rm -rf "$build/stage"
mkdir -p "$stage"/{bin,debug,sdk/include/fyrel,sdk/lib,sdk/samples/game/common,tools}
for module in FyrelExtension.dll hostplayer.exe; do
  bash scripts/split-debug.sh "$build/bin/$module" "$stage/bin/$module" "$stage/debug/$module.debug"
done
cp include/fyrel/*.h "$stage/sdk/include/fyrel/"
cp resources/FyrelExtension.def "$stage/sdk/lib/"
# The linker makes the import library from the .def it links the DLL with;
# its members are named after the DLL, not after any path.
cp "$build/libFyrelExtension.dll.a" "$stage/sdk/lib/"
cp samples/game/*.cpp samples/game/*.h "$stage/sdk/samples/game/"
cp src/common/unique_handle.h "$stage/sdk/samples/game/common/"
cp tools/fyrel-sign tools/README.md "$stage/tools/"

# The sample's sources must build from the archive alone.
sample_check=$(mktemp -d "${TMPDIR:-/tmp}/fyrel-dist-sample.XXXXXX")
trap 'rm -rf "$sample_check"' EXIT
sample_flags="-std=c++17 -O2 -shared -I sdk/include -I sdk/samples/game sdk/samples/game/*.cpp
  -static -static-libgcc -static-libstdc++ -luser32 -lgdi32"
# shellcheck disable=SC2086 # the flags split into words, the sources glob
(cd "$stage" && i686-w64-mingw32-g++-posix $sample_flags -o "$sample_check/paddle.dll") ||
  fail "the sample game does not build from the archive's sdk/ folder"

signed=""
if [ -n "$sign_cert" ]; then
  echo "== Signing (Authenticode)"
  bash scripts/authenticode-sign.sh "$sign_cert" "$sign_key" ${timestamp:+--timestamp "$timestamp"} \
    "$stage/bin/FyrelExtension.dll" "$stage/bin/hostplayer.exe"
  signed=$(openssl x509 -in "$sign_cert" -noout -subject -nameopt oneline | sed 's/^subject= *//')
fi

echo "== Checking the DLL"
bash scripts/check-product.sh ${development:+--development} "$stage/bin/FyrelExtension.dll"

key_fingerprint=$(sha256sum "$trusted_blob" | cut -d' ' -f1)
toolchain="MinGW-w64 GCC $(i686-w64-mingw32-g++-posix -dumpfullversion) (posix threads)"
commit_date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
{
  echo "FyrelExtension $version for 32-bit Windows (i686)${development:+, DEVELOPMENT BUILD}"
  echo "Built from commit $commit ($commit_date)$dirty."
  if [ -n "$development" ]; then
    cat <<EOF

DEVELOPMENT BUILD. This DLL trusts the published development key, whose
private half anyone can read: anyone can sign a game package it will
install. For tests and demos only; never give it to players.
EOF
  fi
  cat <<EOF

What is in this archive
  bin/FyrelExtension.dll     the extension: the 32-bit DLL a host loads
  bin/hostplayer.exe         the reference host: shows the extension in a
                             window and prints every notification
  sdk/include/fyrel/         the public headers: extension_api.h (the host
                             side and the four exports), game_module.h (the
                             five entry points of a game), module_unload.h
  sdk/lib/                   libFyrelExtension.dll.a, an import library for
                             linking the DLL directly, and FyrelExtension.def,
                             the export list it is made from
  sdk/samples/game/          the sample game's sources (paddle.dll), the
                             example a game team starts from
  debug/                     the debug information of the two modules, split
                             off them (each stripped module names its file
                             in .gnu_debuglink)
  tools/fyrel-sign           makes keys and signs game packages (Python 3,
                             openssl, gcab); tools/README.md says how
  SHA256SUMS                 the SHA-256 of every other file in this folder

The key this DLL trusts
  It installs only game packages signed with the key whose 148-byte public
  key blob has this SHA-256:
    $key_fingerprint
  A publisher compares it with: sha256sum PUBLIC.blob

Checking what you received
  1. The archive: beside it came SHA256SUMS; in that folder run
       sha256sum -c SHA256SUMS
     (on Windows: Get-FileHash $name.zip, and compare).
  2. The files in it: in this folder run  sha256sum -c SHA256SUMS
EOF
  if [ -n "$signed" ]; then
    cat <<EOF
  3. The signature: FyrelExtension.dll and hostplayer.exe are
     Authenticode-signed (SHA-256) by
       $signed
     On Windows: the file's Properties, "Digital Signatures", or
       signtool verify /pa bin\\FyrelExtension.dll
     Elsewhere: osslsigncode verify -in bin/FyrelExtension.dll
     (add -CAfile ROOT.pem when the publisher's root is not in the system's store).
EOF
  else
    echo "  3. The signature: this build is not Authenticode-signed."
  fi
  cat <<EOF
  4. The version: the DLL's Properties, "Details", shows file and product
     version $version; in PowerShell:
       (Get-Item bin\\FyrelExtension.dll).VersionInfo
     Elsewhere: i686-w64-mingw32-windres -i bin/FyrelExtension.dll -O rc | grep VALUE

Symbolizing a crash address
  i686-w64-mingw32-addr2line -f -C -e debug/FyrelExtension.dll.debug ADDRESS
  where ADDRESS is the crash address minus the DLL's load address plus its
  image base (i686-w64-mingw32-objdump -p bin/FyrelExtension.dll | grep ImageBase).

Building the sample game
  The game and the extension pass std::string objects to each other, so a
  game is built with the same toolchain as the extension: $toolchain,
  C++ runtime linked statically. From this folder:
    i686-w64-mingw32-g++-posix $(echo "$sample_flags" | tr -s ' \n' ' ')-o paddle.dll
EOF
} >"$stage/README.txt"

# Checksums last: they cover the signed modules.
find "$stage" -type f -exec chmod 0644 {} +
chmod 0755 "$stage/tools/fyrel-sign"
(cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort |
  xargs sha256sum >SHA256SUMS)
mkdir -p "$out"
rm -f "$out/$name.zip"
python3 scripts/deterministic_zip.py "$stage" "$out/$name.zip"
(cd "$out" && sha256sum "$name.zip" >SHA256SUMS)

echo "== Wrote $out/$name.zip ($(stat -c %s "$out/$name.zip") bytes) and $out/SHA256SUMS"
cat "$out/SHA256SUMS"
