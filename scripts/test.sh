#!/usr/bin/env bash
# Runs every test: the native suite against winsim (fault-injection sweep and soak included), the
# same suite under ASan and UBSan, a bounded fuzz pass, and, cross-built for Windows, the
# conformance and end-to-end tests under Wine, and the HID tests under Wine's HID stack in a
# virtual machine (scripts/hid_vm.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

deps_failed=0
scripts/install_deps.sh || deps_failed=1

# Why the Windows tests cannot run under Wine on this machine; nothing when they can.
wine_missing() {
    if [[ $'\n'$(dpkg --print-foreign-architectures 2>/dev/null)$'\n' != *$'\ni386\n'* ]]; then
        echo "the i386 architecture could not be enabled"
    elif [[ $(dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null) != *" ok installed" ]]; then
        echo "wine32 could not be installed"
    elif ! command -v wine >/dev/null; then
        echo "wine could not be installed"
    fi
}

# Why the HID machine cannot run here; nothing when it can.
hid_vm_missing() {
    local tool
    for tool in qemu-system-x86_64 busybox cpio depmod; do
        if ! command -v "$tool" >/dev/null; then
            echo "$tool could not be installed (packages qemu-system-x86, busybox-static, cpio, kmod)"
            return
        fi
    done
}

# Only a Wine that could not be installed is skipped; any other missing dependency, or a Wine
# that is installed but does not work, fails the run.
skipped=""
if ((deps_failed)); then
    reason=$(wine_missing)
    if [[ -z $reason ]]; then
        echo "test: scripts/install_deps.sh failed" >&2
        exit 1
    fi
    skipped="Wine tests skipped: $reason (scripts/install_deps.sh failed, see above)"
    echo "$skipped"
fi

for preset in native asan windows; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

ctest --preset native
ctest --preset asan
scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
if [[ -z $skipped ]]; then
    ctest --preset windows
    # The performance run's figures, which CTest keeps to itself when a test passes.
    sed -n '/^start-up, from CreateProcess/,/^perf: /p' build/windows/Testing/Temporary/LastTest.log
    hid_vm_skipped=$(hid_vm_missing)
    if [[ -z $hid_vm_skipped ]]; then
        lane_start=$SECONDS
        scripts/hid_vm.sh
        echo "test: HID machine lane took $((SECONDS - lane_start)) s"
    else
        skipped="HID machine tests skipped: $hid_vm_skipped"
    fi
else
    # The package's tables need no Wine.
    ctest --preset windows -L nowine
    skipped="$skipped; HID machine tests skipped with them"
fi
if [[ -n $skipped ]]; then
    # Repeated last, where a reader of the log looks.
    echo "$skipped"
fi
