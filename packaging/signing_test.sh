#!/usr/bin/env bash
# The release's signing step with a throwaway certificate made here: scripts/package.sh --sign
# must leave the exe (in the zip and inside the MSI) and the MSI verifying against it, and a file
# changed after signing must fail to verify.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
verifies() {
    osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1
}

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vexor2 test signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" \
    2>/dev/null
"$root/scripts/package.sh" --sign "$work/cert.pem" "$work/key.pem" --out "$work/release" \
    >"$work/package.log" 2>&1 || { cat "$work/package.log"; exit 1; }

version=$(sed -n 's/^project(Vexor2 VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
msi=$work/release/Vexor2-$version.msi
(cd "$work/release" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
python3 -m zipfile -e "$work/release/Vexor2-$version.zip" "$work/zip"
mkdir "$work/msi"
msiextract -C "$work/msi" "$msi" >/dev/null
packed=$(find "$work/msi" -name Vexor2.exe)

for f in "$work/zip/Vexor2/Vexor2.exe" "$packed" "$msi"; do
    if verifies "$f"; then
        echo "verified: ${f#"$work"/}"
    else
        fail "${f#"$work"/} does not verify:"
        cat "$work/verify.log"
    fi
done
cmp -s "$work/zip/Vexor2/Vexor2.exe" "$packed" || fail "the zip and the MSI hold different exes"

# One byte of code changed after signing.
cp "$packed" "$work/tampered.exe"
printf '\x90' | dd of="$work/tampered.exe" bs=1 seek=$((0x1100)) conv=notrunc status=none
cmp -s "$packed" "$work/tampered.exe" && printf '\xcc' |
    dd of="$work/tampered.exe" bs=1 seek=$((0x1100)) conv=notrunc status=none
verifies "$work/tampered.exe" && fail "a changed exe still verifies"
# The package's publisher changed after signing.
cp "$msi" "$work/tampered.msi"
msibuild "$work/tampered.msi" -q "UPDATE \`Property\` SET \`Value\` = 'Someone' WHERE \`Property\` = 'Manufacturer'"
verifies "$work/tampered.msi" && fail "a changed MSI still verifies"
# And a certificate that did not sign it is not taken for the one that did.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Someone else" \
    -keyout "$work/other.key" -out "$work/other.pem" 2>/dev/null
osslsigncode verify -CAfile "$work/other.pem" -in "$msi" >/dev/null 2>&1 &&
    fail "the MSI verifies against another certificate"

if ((failures)); then
    echo "signing: $failures checks failed"
    exit 1
fi
echo "signing: all checks passed"
