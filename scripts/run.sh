#!/usr/bin/env bash
# Sets up a fresh Debian machine and builds the shipped program, build/windows/Vexor2.exe.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install_deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

exe=build/windows/Vexor2.exe
echo
echo "Built $exe:"
file "$exe"
echo "Imports (system DLLs only):"
i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: /  /p'
