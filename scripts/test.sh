#!/usr/bin/env bash
# Runs every test: the native suite against winsim, the same suite under ASan and UBSan, and the
# conformance tests natively and, cross-built for Windows, under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install_deps.sh

for preset in native asan windows; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

ctest --preset native
ctest --preset asan
ctest --preset windows
