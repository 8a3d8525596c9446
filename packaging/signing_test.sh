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

# Time-stamped by an authority of our own: the signatures must outlive the two-day certificate,
# checked at a time five days on, where the signatures made without a time stamp have lapsed.
mkdir "$work/tsa"
python3 "$root/packaging/tsa_server.py" "$work/tsa" >"$work/tsa/port" &
tsa_pid=$!
trap 'kill "$tsa_pid" 2>/dev/null; rm -rf -- "$work"' EXIT
for _ in $(seq 100); do
    [[ -s $work/tsa/port ]] && break
    sleep 0.2
done
tsa=http://127.0.0.1:$(cat "$work/tsa/port")
"$root/scripts/package.sh" --sign "$work/cert.pem" "$work/key.pem" --timestamp "$tsa" \
    --out "$work/stamped" >"$work/package.log" 2>&1 || { cat "$work/package.log"; exit 1; }
python3 -m zipfile -e "$work/stamped/Vexor2-$version.zip" "$work/stamped/zip"
mkdir "$work/stamped/msi"
msiextract -C "$work/stamped/msi" "$work/stamped/Vexor2-$version.msi" >/dev/null
later=$(($(date +%s) + 5 * 86400))
verifies_later() {
    osslsigncode verify -CAfile "$work/cert.pem" -TSA-CAfile "$work/tsa/tsa_root.pem" \
        -time "$later" -in "$1" >"$work/verify.log" 2>&1
}
for f in "$work/stamped/zip/Vexor2/Vexor2.exe" "$(find "$work/stamped/msi" -name Vexor2.exe)" \
    "$work/stamped/Vexor2-$version.msi"; do
    if verifies_later "$f" && grep -q "The signature is timestamped" "$work/verify.log"; then
        echo "verified after the certificate's end, time-stamped: ${f#"$work"/}"
    else
        fail "${f#"$work"/} is not time-stamped or does not verify after the certificate's end:"
        cat "$work/verify.log"
    fi
done
verifies_later "$msi" && fail "a signature without a time stamp verifies after the certificate's end"
# An authority that does not answer fails the release rather than letting it out unstamped.
"$root/scripts/package.sh" --sign "$work/cert.pem" "$work/key.pem" --timestamp http://127.0.0.1:9 \
    --out "$work/unanswered" >"$work/package.log" 2>&1 &&
    fail "a release was made although the time-stamping authority did not answer"

if ((failures)); then
    echo "signing: $failures checks failed"
    exit 1
fi
echo "signing: all checks passed"
