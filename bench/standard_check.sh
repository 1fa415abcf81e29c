# Sourced by the benchmarks: what the standard tools do with a signed
# package in place of our signature check. standard_check PKG PUB CAB cuts
# the package at its signature marker, reverses the stored signature into
# openssl's byte order, checks it with openssl and writes the cabinet to CAB.
standard_check() {
  local pkg=$1 pub=$2 cab=$3 size window cut
  size=$(stat -c %s "$pkg")
  # The marker stands in the package's last 100 KB.
  window=$((size > 102400 ? size - 102400 : 0))
  cut=$(tail -c +$((window + 1)) "$pkg" | grep -obUaF '!fyrelsig!' | head -1 | cut -d: -f1)
  cut=$((window + cut))
  head -c "$cut" "$pkg" >"$cab"
  tail -c +$((cut + 11)) "$pkg" | head -c 128 | perl -0777 -pe '$_ = reverse' >"$cab.sig"
  openssl dgst -md5 -verify "$pub" -signature "$cab.sig" "$cab" >/dev/null
}
