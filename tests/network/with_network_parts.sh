#!/usr/bin/env bash
# Runs one case of the network tests beside the real network part its suite
# needs, started here on a loopback address of the case's own with a private
# configuration, cache and log folder, and stopped here whatever the outcome:
#   Squid.*      squid (Debian squid): port 3128 open to loopback clients,
#                port 3129 demanding a login that nobody has
#   Middlebox.*  mitmdump (Debian mitmproxy) in regular proxy mode on port
#                8080 with tests/network/middlebox.py
#   SlowLink.*   tests/network/paced_server.py on port 80, serving FIXTURES
#   Tls.*        tests/network/tls_server.py: HTTPS on ports 19443-19448 of a
#                127.19.x.y address, one kind of certificate per port, with a
#                test CA made for the case (also for Squid.*Https* cases)
# The case learns where from FYREL_NET_* variables (Wine passes them on).
#
# It is the test executable's emulator, so CTest runs
#   with_network_parts.sh FIXTURES WINE_RUN TEST.exe --gtest_filter=Suite.Case ...
# Without a filter (test discovery) the command runs alone.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fixtures=$1
shift

filter=""
for arg in "$@"; do
  case $arg in --gtest_filter=*) filter=${arg#--gtest_filter=} ;; esac
done
[ -n "$filter" ] || exec "$@"
suite=${filter%%.*}

# 127.64.x.y from the case's name (the cases' own servers are on 127.62 and
# 127.63, other suites' elsewhere), as the cases derive their servers' addresses.
hash=$(printf '%s' "$filter" | cksum | cut -d' ' -f1)
address=127.64.$(((hash >> 8) % 250 + 1)).$((hash % 250 + 1))
tls_address=127.19.$(((hash >> 8) % 250 + 1)).$((hash % 250 + 1))

work=$(mktemp -d "${TMPDIR:-/tmp}/fyrel-net.XXXXXX")
chmod 755 "$work"  # squid drops to its own user and writes its logs here
pids=()
log_files=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do
    # squid takes a moment to close down; nothing may outlive the case.
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

need() {
  command -v "$1" >/dev/null && return 0
  echo "FAIL: $1 is not installed (Debian package $2; scripts/install-deps.sh installs it)"
  exit 1
}
show_logs() {
  local f
  for f in "${log_files[@]}"; do
    [ -s "$f" ] || continue
    echo "--- $(basename "$f")"
    tail -n 40 "$f"
  done
}
# wait_listening PID PORT WHAT [ADDRESS]: until ADDRESS:PORT accepts, PID
# ends or 30 s pass.
wait_listening() {
  local at=${4:-$address}
  for _ in $(seq 300); do
    (exec 3<>"/dev/tcp/$at/$2") 2>/dev/null && return 0
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  echo "FAIL: $3 does not listen on $at:$2"
  show_logs
  exit 1
}

start_squid() {
  need squid squid
  local dir=$work/squid
  mkdir -p "$dir"
  : >"$dir/passwd"
  cat >"$dir/squid.conf" <<EOF
http_port $address:3128
http_port $address:3129 name=login
# Started as root, squid binds its ports, then works as this user.
cache_effective_user proxy
cache_effective_group proxy
pid_filename $dir/squid.pid
coredump_dir $dir
access_log stdio:$dir/access.log
cache_log $dir/cache.log
cache_store_log none
netdb_filename none
logfile_rotate 0
pinger_enable off
shutdown_lifetime 0 seconds
# Memory only: no cache folder, nothing kept between cases.
cache deny all
cache_mem 8 MB
max_filedescriptors 1024
auth_param basic program /usr/lib/squid/basic_ncsa_auth $dir/passwd
auth_param basic realm fyrel test proxy
acl loopback src 127.0.0.0/8
# CONNECT (https through the proxy) only to the test's HTTPS port.
acl tls_port port 19443
acl CONNECT method CONNECT
http_access deny CONNECT !tls_port
acl login_port myportname login
acl logged_in proxy_auth REQUIRED
http_access deny login_port !logged_in
http_access allow loopback
http_access deny all
EOF
  chown -R proxy:proxy "$dir"
  log_files+=("$dir/cache.log" "$dir/access.log")
  squid -N -f "$dir/squid.conf" >"$dir/squid.out" 2>&1 &
  pids+=($!)
  log_files+=("$dir/squid.out")
  wait_listening $! 3128 squid
  wait_listening $! 3129 squid
  export FYREL_NET_SQUID=$address FYREL_NET_SQUID_LOG=$dir/access.log
}

start_mitmdump() {
  need mitmdump mitmproxy
  local dir=$work/mitmproxy
  mkdir -p "$dir"
  # lazy: the upstream connection is made only for a request that goes on,
  # so an answer made by the middlebox itself reaches no origin.
  mitmdump --mode regular --listen-host "$address" --listen-port 8080 \
    --set confdir="$dir/conf" --set connection_strategy=lazy \
    -s "$here/middlebox.py" >"$dir/mitmdump.log" 2>&1 &
  pids+=($!)
  log_files+=("$dir/mitmdump.log")
  wait_listening $! 8080 mitmdump
  export FYREL_NET_MIDDLEBOX=$address:8080
}

start_paced_server() {
  need python3 python3
  # 1 MB/s: a package of a few MB takes seconds, long enough to look at
  # the screen half way, short enough for the suite.
  local rate=1000000 first_byte_ms=100
  python3 "$here/paced_server.py" --bind "$address" --port 80 --folder "$fixtures" \
    --rate "$rate" --first-byte-ms "$first_byte_ms" 2>"$work/paced.log" &
  pids+=($!)
  log_files+=("$work/paced.log")
  wait_listening $! 80 "the paced server"
  export FYREL_NET_PACED=$address FYREL_NET_PACED_RATE=$rate FYREL_NET_PACED_FIRST_BYTE_MS=$first_byte_ms
}

start_tls_servers() {
  need python3 python3
  python3 -c 'import cryptography' 2>/dev/null ||
    { echo "FAIL: python3 cannot import cryptography (Debian package python3-cryptography)"; exit 1; }
  local dir=$work/tls
  mkdir -p "$dir"
  # The fixtures' parent: the cases ask for /extension/game.pkg.
  python3 "$here/tls_server.py" --bind "$tls_address" --folder "$fixtures/.." --work "$dir" 2>"$dir/tls.log" &
  pids+=($!)
  log_files+=("$dir/tls.log" "$dir/requests.log")
  local port
  for port in 19443 19444 19445 19446 19447 19448; do wait_listening $! $port "the TLS server" "$tls_address"; done
  export FYREL_NET_TLS=$tls_address FYREL_NET_TLS_CA=$dir/ca.der FYREL_NET_TLS_LOG=$dir/requests.log
}

case $filter in Squid.*Https*) start_tls_servers ;; esac
case $suite in
  Tls) start_tls_servers ;;
  Squid) start_squid ;;
  Middlebox) start_mitmdump ;;
  SlowLink) start_paced_server ;;
  *) echo "FAIL: no network part is known for suite $suite"; exit 1 ;;
esac

"$@"
status=$?
# A case that ended without its own clean-up (a crash, not a failed check)
# may leave the prefix's proxy setting on, which every later test would use.
if [ "$status" -gt 1 ] && [ "$suite" != SlowLink ]; then
  "$1" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v ProxyEnable \
    /t REG_DWORD /d 0 /f >/dev/null 2>&1
fi
[ "$status" -eq 0 ] || show_logs
exit $status
