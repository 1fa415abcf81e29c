#!/usr/bin/env bash
# Makes 32-bit Linux programs (and so 32-bit Wine) run on a machine whose
# kernel cannot start them itself: qemu-i386 user emulation, registered
# with binfmt_misc. Does nothing where 32-bit programs already run.
# Idempotent. Needs root the first time.
#
# The emulator comes from the bookworm-backports suite of the archive the
# machine already uses: bookworm's own qemu 7.2 takes about 50 s to start a
# process and crashes on programs with two threads.
set -euo pipefail

probe=/lib/ld-linux.so.2
handler_name=qemu-i386
binfmt=/proc/sys/fs/binfmt_misc

runs_32bit() { "$probe" --version >/dev/null 2>&1; }

fail() { echo "install-i386-emulation: $*" >&2; exit 1; }

[ -x "$probe" ] || fail "$probe is missing (install libc6:i386 first)"
runs_32bit && exit 0

[ "$(id -u)" = 0 ] || fail "32-bit programs do not run here and registering the qemu-i386 emulator needs root"

# Where the machine takes bookworm from, in either apt source format.
archive_uri() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    awk '/^URIs:/{u=$2} /^Suites:/{for(i=2;i<=NF;i++) if($i=="bookworm"){print u; exit}}' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    awk '$1=="deb" {for(i=2;i<=NF;i++) if($i ~ /:\/\//){ if($(i+1)=="bookworm") print $i; break }}' "$f"
  done
}

qemu_version_ok() {
  local v
  v=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null) || return 1
  v=${v#*:}
  dpkg --compare-versions "$v" ge 10
}

if ! qemu_version_ok; then
  uri=$(archive_uri | head -n1)
  [ -n "$uri" ] || fail "no bookworm entry in the apt sources to take the backports suite from"
  list=/etc/apt/sources.list.d/fyrel-bookworm-backports.list
  echo "deb $uri bookworm-backports main" >"$list"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static >/dev/null
  qemu_version_ok || fail "qemu-user-static 10 or newer could not be installed from bookworm-backports"
fi

emulator=/usr/bin/qemu-i386-static
[ -x "$emulator" ] || emulator=/usr/bin/qemu-i386
[ -x "$emulator" ] || fail "qemu-user-static is installed but has no qemu-i386 emulator"

if [ ! -e "$binfmt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
    fail "binfmt_misc is not mounted at $binfmt and cannot be mounted here"
fi
if [ -e "$binfmt/$handler_name" ] && ! grep -q "^interpreter $emulator\$" "$binfmt/$handler_name"; then
  echo -1 >"$binfmt/$handler_name"  # registered for another emulator: replace it
fi
if [ ! -e "$binfmt/$handler_name" ]; then
  # i386 ELF executables and shared objects. F: the kernel opens the emulator
  # now, so it also works inside other mount namespaces; P: keep argv[0].
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":$handler_name:M::$magic:$mask:$emulator:FP" >"$binfmt/register" ||
    fail "the qemu-i386 handler could not be registered with binfmt_misc"
fi

runs_32bit || fail "qemu-i386 is registered, but $probe still does not run"
echo "install-i386-emulation: 32-bit programs run under $("$emulator" --version | head -n1)"
