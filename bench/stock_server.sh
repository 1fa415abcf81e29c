# Sourced by the benchmark scripts: serves a folder with a stock HTTP server
# (python3 -m http.server) on port 80 of a loopback address, answering before
# this returns, until the sourcing script exits.
#   serve_folder ADDRESS FOLDER LOG
serve_folder() {
  # Proxies would take the loopback requests elsewhere (curl's too).
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
  python3 -m http.server --bind "$1" 80 --directory "$2" >"$3" 2>&1 &
  stock_server=$!
  trap 'kill $stock_server 2>/dev/null || true; wait $stock_server 2>/dev/null || true' EXIT
  for _ in $(seq 50); do curl -s -o /dev/null "http://$1/" && break; sleep 0.1; done
}
