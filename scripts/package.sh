#!/usr/bin/env bash
# Builds the release package: build/windows/Vexor2-<version>.zip with Vexor2.exe and the
# installation guide.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install_deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Vexor2
version=$(sed -n 's/^project(Vexor2 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=build/windows/Vexor2-$version.zip
python3 - "$out" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.write("build/windows/Vexor2.exe", "Vexor2/Vexor2.exe")
    # Windows' Notepad wants CRLF line ends.
    text = open("docs/INSTALL.txt").read().replace("\n", "\r\n")
    z.writestr("Vexor2/INSTALL.txt", text)
PY
echo "Release package: $out"
python3 -m zipfile -l "$out"
