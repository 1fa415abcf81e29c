#!/usr/bin/env bash
# The signing round trip of a release: a code-signing certificate from a
# throwaway CA made here, the DLL and the host signed by the same script
# ./run dist uses, the signatures checked by osslsigncode against that CA
# (and refused against another), and the signed modules still loading and
# running the demo's first and installed starts under Wine.
#
# usage: authenticode_test.sh SOURCE_DIR BUILD_DIR ADDRESS
set -uo pipefail
source_dir=$1 build=$2 address=$3
work=$build/authenticode
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rm -rf "$work"
mkdir -p "$work/i686/bin"
cd "$work" || exit 1

make_ca() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 2 -subj "/CN=$2" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}
make_ca ca "Fyrel Test Root CA" && make_ca other-ca "Some Other Root CA" || { echo "FAIL: openssl CA"; exit 1; }
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Fyrel Test Publisher" 2>/dev/null &&
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext &&
  openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1 -extfile signer.ext \
    -out signer.pem 2>/dev/null || { echo "FAIL: openssl code-signing certificate"; exit 1; }

cp "$build/bin/FyrelExtension.dll" "$build/bin/hostplayer.exe" "$build/bin/paddle.dll" i686/bin/
ln -s "$build/wine-run.sh" i686/wine-run.sh
bash "$source_dir/scripts/authenticode-sign.sh" signer.pem signer.key i686/bin/FyrelExtension.dll i686/bin/hostplayer.exe ||
  { echo "FAIL: signing"; exit 1; }

for module in FyrelExtension.dll hostplayer.exe; do
  if osslsigncode verify -CAfile ca.pem -in "i686/bin/$module" >"verify-$module.log" 2>&1; then
    grep -q "Signature verification: ok" "verify-$module.log" || fail "$module: no 'Signature verification: ok'"
    grep "Subject:" "verify-$module.log" | sed "s/^[[:space:]]*/$module: /" | sort -u
  else
    cat "verify-$module.log"; fail "$module: the signature does not verify against the test CA"
  fi
  grep -q "Message digest algorithm *: SHA256" "verify-$module.log" || fail "$module: not signed with SHA-256"
  osslsigncode verify -CAfile other-ca.pem -in "i686/bin/$module" >/dev/null 2>&1 &&
    fail "$module: the signature verifies against a CA that did not issue its certificate"
  osslsigncode verify -CAfile ca.pem -in "$build/bin/$module" >/dev/null 2>&1 &&
    fail "$module: the unsigned module verifies"
done

# Signing appends the certificate table and rewrites the checksum; the rest
# of the product check still holds.
bash "$source_dir/scripts/check-product.sh" --development i686/bin/FyrelExtension.dll >check.log ||
  { cat check.log; fail "the signed DLL fails the product check"; }

echo "== the demo with the signed DLL and host"
bash "$source_dir/scripts/demo.sh" --core --build-dir "$work/i686" --address "$address" --out "$work/demo-out" ||
  fail "the demo with the signed modules"

[ $failures = 0 ] && echo "PASS" || echo "$failures failure(s)"
exit $((failures > 0))
