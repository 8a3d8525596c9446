#!/usr/bin/env bash
# Builds the release: build/release/ with Vexor2-<version>.zip (the program, the installation
# guide and its pictures), Vexor2-<version>.msi (the Windows Installer package) and SHA256SUMS.
# With --sign CERT KEY (PEM files), the exe is signed before it is packed and the MSI after.
# With --timestamp URL as well, each signature is countersigned by that RFC 3161 time-stamping
# authority (the certificate vendor's), so that it stays valid after the certificate expires.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    echo "usage: scripts/package.sh [--sign CERT.pem KEY.pem [--timestamp URL]] [--out DIR]" >&2
    exit 2
}
cert="" key="" tsa="" out=build/release
while (($#)); do
    case $1 in
    --sign)
        (($# >= 3)) || usage
        cert=$(realpath -- "$2") key=$(realpath -- "$3")
        shift 3
        ;;
    --timestamp)
        (($# >= 2)) || usage
        tsa=$2
        shift 2
        ;;
    --out)
        (($# >= 2)) || usage
        out=$2
        shift 2
        ;;
    *) usage ;;
    esac
done
# A time stamp countersigns a signature; without one there is nothing to stamp.
[[ -z $tsa || -n $cert ]] || usage

scripts/install_deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Vexor2
version=$(sed -n 's/^project(Vexor2 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

rm -rf -- "$out"
mkdir -p -- "$out"
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
exe=$work/Vexor2.exe

# Signs IN in place with the releaser's certificate (SHA-256 Authenticode), time-stamped when a
# time-stamping authority was given.
sign() {
    local stamp=()
    [[ -z $tsa ]] || stamp=(-ts "$tsa")
    osslsigncode sign -certs "$cert" -key "$key" -n "Vexor2" -h sha256 "${stamp[@]}" -in "$1" \
        -out "$1.signed" >/dev/null
    mv -- "$1.signed" "$1"
    echo "Signed: $(basename -- "$1")"
}

cp build/windows/Vexor2.exe "$exe"
[[ -z $cert ]] || sign "$exe"

python3 - "$out/Vexor2-$version.zip" "$exe" <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.write(sys.argv[2], "Vexor2/Vexor2.exe")
    # Windows' Notepad wants CRLF line ends.
    text = open("docs/INSTALL.txt").read().replace("\n", "\r\n")
    z.writestr("Vexor2/INSTALL.txt", text)
    # The pictures the guide points at.
    for name in sorted(os.listdir("docs/images")):
        z.write(os.path.join("docs/images", name), "Vexor2/images/" + name)
PY

msi=$out/Vexor2-$version.msi
packaging/build_msi.sh "$exe" "$msi"
[[ -z $cert ]] || sign "$msi"

(cd "$out" && sha256sum -- "Vexor2-$version.zip" "Vexor2-$version.msi" >SHA256SUMS)
echo "Release in $out:"
ls -l -- "$out"
