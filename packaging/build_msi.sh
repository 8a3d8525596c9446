#!/usr/bin/env bash
# Builds the Windows Installer package from a built Vexor2.exe with msitools' wixl, then fills in
# what wixl 0.101 leaves out or cannot say (the file's version, migrated features).
set -euo pipefail

usage() {
    cat >&2 <<'USAGE'
usage: packaging/build_msi.sh EXE OUT.msi [PRODUCT_VERSION]
Packages EXE (a built Vexor2.exe) as OUT.msi. PRODUCT_VERSION defaults to the first three parts
of the exe's own file version; tests give others to build upgrades and downgrades.
USAGE
    exit 2
}
(($# == 2 || $# == 3)) || usage
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath -- "$1")
out=$(realpath -m -- "$2")
[[ -f $exe ]] || { echo "build_msi: no such file: $1" >&2; exit 1; }

# The exe's version as Windows sees it: the VS_FIXEDFILEINFO of its version resource.
file_version=$(python3 - "$exe" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    sys.exit("build_msi: no version resource in " + sys.argv[1])
ms, ls = struct.unpack_from("<II", data, at + 8)
print(f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")
PY
)
product_version=${3:-${file_version%.*}}
[[ $product_version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
    { echo "build_msi: bad product version: $product_version" >&2; exit 1; }
# A product code per version, the same for every build of that version.
product_code=$(python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID("6c0b7e52-3f0d-4b8a-9e2c-5d1a7b4f9e31"), "Vexor2 " + sys.argv[1])).upper())' \
    "$product_version")

work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
# wixl resolves sources against the working directory, whatever the .wxs says.
cp -- "$exe" "$work/Vexor2.exe"
cp -- "$here/../src/resources/vexor2.ico" "$work/vexor2.ico"
cd "$work"
# wixl only warns about what it does not understand and still writes a package: any word on
# stderr fails the build.
if ! wixl -a x86 -D ProductCode="$product_code" -D ProductVersion="$product_version" \
    -D ExeFile=Vexor2.exe -D IconFile=vexor2.ico -o package.msi "$here/vexor2.wxs" \
    2>wixl.log || [[ -s wixl.log ]]; then
    cat wixl.log >&2
    echo "build_msi: wixl failed or warned" >&2
    exit 1
fi

upgrade_code=$(msiinfo export package.msi Property | sed -n 's/^UpgradeCode\t//p' | tr -d '\r')
msibuild package.msi -q "UPDATE \`File\` SET \`Version\` = '$file_version', \`Language\` = '1033' WHERE \`File\` = 'Vexor2.exe'"
# A versioned file carries no hash; with one, Windows Installer treats the file as unversioned.
msibuild package.msi -q "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = 'Vexor2.exe'"
# An upgrade keeps the features the older version had (wixl cannot set this attribute; it is part
# of the row's key, so the row is replaced).
msibuild package.msi -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'OLDERVERSIONFOUND'"
msibuild package.msi -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMin\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade_code', '0.0.0', '$product_version', 257, 'OLDERVERSIONFOUND')"
mkdir -p -- "$(dirname -- "$out")"
mv -- package.msi "$out"
echo "build_msi: $out (product $product_version {$product_code}, file $file_version)"
