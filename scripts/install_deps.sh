#!/usr/bin/env bash
# Installs the Debian packages needed to build, package and test Vexor2 (native build,
# i686 mingw-w64 cross build, the Windows Installer package and its signing, tests under Wine);
# only missing ones are installed.
# The HID machine's packages (qemu and the initramfs tools) come last and are optional:
# scripts/test.sh skips that lane, saying why, where they cannot be installed.
set -euo pipefail

packages=(
    cmake g++ make
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    clang-format clang-14 libclang-rt-14-dev
    g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
    wine wine32:i386 xvfb xauth socat
    python3 file valgrind
    msitools wixl osslsigncode openssl
)
vm_packages=(qemu-system-x86 busybox-static kmod cpio)

export DEBIAN_FRONTEND=noninteractive

# CI runs this as root; elsewhere fall back to sudo without a password prompt,
# since there may be no terminal to type one into.
as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    else
        sudo -n env DEBIAN_FRONTEND=noninteractive "$@"
    fi
}

is_installed() {
    local status
    status=$(dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null) || return 1
    # A package present for several architectures prints several statuses.
    [[ $'\n'$status$'\n' == *$' ok installed\n'* ]]
}

# wine32 is an i386 package, which apt only offers once i386 is enabled.
if [[ $'\n'$(dpkg --print-foreign-architectures)$'\n' != *$'\ni386\n'* ]]; then
    as_root dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
    is_installed "$p" || missing+=("$p")
done
vm_missing=()
for p in "${vm_packages[@]}"; do
    is_installed "$p" || vm_missing+=("$p")
done

if ((${#missing[@]} == 0 && ${#vm_missing[@]} == 0)); then
    echo "install_deps: nothing missing"
    exit 0
fi

# apt output goes to a log that is shown only on failure, keeping CI logs short.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
apt_opts=(-o DPkg::Lock::Timeout=300)

if ! as_root apt-get "${apt_opts[@]}" update </dev/null >"$log" 2>&1; then
    # Stale lists may still be enough to install from; let the install decide.
    echo "install_deps: warning: apt-get update failed, trying to install anyway" >&2
    tail -n 20 "$log" >&2
fi
if ((${#missing[@]})); then
    if ! as_root apt-get "${apt_opts[@]}" install -y --no-install-recommends \
        "${missing[@]}" </dev/null >>"$log" 2>&1; then
        cat "$log" >&2
        echo "install_deps: apt-get install failed for: ${missing[*]}" >&2
        exit 1
    fi

    still=()
    for p in "${missing[@]}"; do
        is_installed "$p" || still+=("$p")
    done
    if ((${#still[@]})); then
        cat "$log" >&2
        echo "install_deps: still not installed: ${still[*]}" >&2
        exit 1
    fi
    echo "install_deps: installed ${missing[*]}"
fi
if ((${#vm_missing[@]})); then
    if as_root apt-get "${apt_opts[@]}" install -y --no-install-recommends \
        "${vm_missing[@]}" </dev/null >>"$log" 2>&1; then
        echo "install_deps: installed ${vm_missing[*]}"
    else
        tail -n 20 "$log" >&2
        echo "install_deps: warning: could not install ${vm_missing[*]} (the HID machine lane)" >&2
    fi
fi
