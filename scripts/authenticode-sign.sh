#!/usr/bin/env bash
# Authenticode-signs Windows modules in place with osslsigncode, SHA-256:
#   authenticode-sign.sh CERT.pem KEY.pem [--timestamp URL] MODULE...
# CERT.pem holds the code-signing certificate (and any intermediate ones),
# KEY.pem its private key. Without --timestamp the signature is valid only as
# long as the certificate is; a release adds the publisher's RFC 3161
# time-stamping service so it stays valid after the certificate expires.
set -euo pipefail
usage="usage: authenticode-sign.sh CERT.pem KEY.pem [--timestamp URL] MODULE..."
cert=${1:?$usage} key=${2:?$usage}
shift 2
timestamp=()
if [ "${1:-}" = --timestamp ]; then timestamp=(-ts "${2:?$usage}"); shift 2; fi
[ $# -gt 0 ] || { echo "$usage" >&2; exit 3; }
for module in "$@"; do
  # Written beside the module and moved into place, so a failed signing
  # leaves the unsigned module as it was.
  osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "FyrelExtension" "${timestamp[@]}" \
    -in "$module" -out "$module.signing" >/dev/null || { rm -f "$module.signing"; echo "authenticode-sign: could not sign $module" >&2; exit 1; }
  mv "$module.signing" "$module"
  echo "signed $(basename "$module") (Authenticode, SHA-256${timestamp:+, time-stamped})"
done
