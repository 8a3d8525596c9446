#!/usr/bin/env bash
# Runs the HID tests against a real HID stack: a qemu virtual machine boots Debian's kernel (uhid,
# hidraw) over this machine's own files, a uhid camera built on the virtual camera appears as a
# HID device, and the HID conformance tests and the real Vexor2.exe run under Wine's hid.dll and
# hidclass inside it. One boot for everything; the kernel, initramfs and Wine prefix are cached
# in build/hidvm. Prints each test's result and exits 0 only when all passed.
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD
vm=$project/build/hidvm

# Seconds: the whole machine run (boot, Wine start-up, every test, power-off) and preparing the
# Wine prefix on the host. Emulation without KVM is slow; CI runs alone, shared machines do not.
vm_timeout=${HID_VM_TIMEOUT:-900}
prefix_timeout=${HID_VM_PREFIX_TIMEOUT:-300}

die() {
    echo "hid_vm: $*" >&2
    exit 125
}

for tool in qemu-system-x86_64 busybox cpio depmod modprobe apt-get dpkg wine wineboot wineserver \
    timeout gzip; do
    command -v "$tool" >/dev/null || die "$tool not found (run scripts/install_deps.sh)"
done
for f in build/native/hidvm/uhid_camera build/windows/Vexor2.exe \
    build/windows/tests/conformance/hid_conformance.exe build/windows/e2e/hid_suite.exe; do
    [[ -x $f || -f $f ]] || die "$f missing (build the native and windows presets first)"
done
mkdir -p "$vm"

# ---- the kernel: Debian's own, unpacked into the build folder (nothing goes into /boot) ----
kernel_package=$(apt-cache depends linux-image-amd64 2>/dev/null |
    awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
[[ -n $kernel_package ]] || die "no kernel package behind linux-image-amd64 (apt-get update?)"
kdir=$vm/kernel/$kernel_package
if [[ ! -f $kdir/.unpacked ]]; then
    rm -rf "$vm/kernel"
    mkdir -p "$kdir"
    (cd "$vm/kernel" && apt-get download "$kernel_package" >/dev/null 2>&1) ||
        die "apt-get download $kernel_package failed"
    dpkg -x "$vm/kernel/$kernel_package"_*.deb "$kdir"
    rm -f "$vm/kernel/$kernel_package"_*.deb
    touch "$kdir/.unpacked"
fi
kver=$(basename "$(ls -d "$kdir"/lib/modules/*)")
vmlinuz=$kdir/boot/vmlinuz-$kver

# ---- the initramfs: busybox, the modules for virtio 9p, overlay, uhid and hidraw, and init ----
initrd=$vm/initramfs-$kver.cpio.gz
if [[ ! -f $initrd || $initrd -ot scripts/hid_vm_init.sh ]]; then
    depmod -b "$kdir" "$kver"
    staging=$vm/initramfs
    rm -rf "$staging"
    mkdir -p "$staging"/{bin,dev,proc,sys,newroot,modules}
    cp "$(command -v busybox)" "$staging/bin/busybox"
    cp scripts/hid_vm_init.sh "$staging/init"
    chmod +x "$staging/init"
    : >"$staging/modules/order"
    for m in virtio_pci 9pnet_virtio 9p overlay uhid hid-generic; do
        modprobe -d "$kdir" -S "$kver" --show-depends "$m" | awk '$1 == "insmod" { print $2 }'
    done | awk '!seen[$0]++' | while read -r ko; do
        cp "$ko" "$staging/modules/"
        basename "$ko" >>"$staging/modules/order"
    done
    (cd "$staging" && find . | cpio -o -H newc --quiet | gzip -1) >"$initrd.new"
    mv "$initrd.new" "$initrd"
fi

# ---- the Wine prefix, made here; the machine mounts it as the lower layer of an overlay ----
prefix=$vm/prefix
if [[ ! -f $prefix/.ready ]]; then
    rm -rf "$prefix"
    mkdir -p "$prefix"
    (
        export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
        export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
        # (set -e does not hold inside a subshell tested with ||: hence the &&.)
        timeout -k 10 "$prefix_timeout" wineboot -i &&
            # Without SDL2 for i386, Wine's winebus otherwise never starts its hidraw backend;
            # and an emulated machine starts services slowly.
            timeout -k 10 "$prefix_timeout" wine reg add \
                'HKLM\System\CurrentControlSet\Services\winebus' /v "Enable SDL" \
                /t REG_DWORD /d 0 /f &&
            timeout -k 10 "$prefix_timeout" wine reg add \
                'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout \
                /t REG_DWORD /d 180000 /f &&
            timeout -k 10 "$prefix_timeout" wineserver -w
    ) >"$vm/prefix.log" 2>&1 || {
        cat "$vm/prefix.log" >&2
        die "creating the Wine prefix failed"
    }
    touch "$prefix/.ready"
fi

# ---- one boot ----
out=$vm/out
rm -rf "$out"
mkdir -p "$out"
accel=tcg
# /dev/kvm alone is not enough: only a real kvm_intel or kvm_amd boots a stock kernel.
if [[ -w /dev/kvm && ( -d /sys/module/kvm_intel || -d /sys/module/kvm_amd ) ]]; then
    accel=kvm
fi
echo "hid_vm: booting $kver ($accel), results in $out"
start=$(date +%s)
rc=0
timeout -k 10 "$vm_timeout" qemu-system-x86_64 -accel "$accel" -m 2048 -smp 2 \
    -nographic -no-reboot -nodefaults -serial "file:$out/console.log" -monitor none \
    -kernel "$vmlinuz" -initrd "$initrd" \
    -append "console=ttyS0 panic=-1 quiet loglevel=4 hidvm_project=$project hidvm_prefix=$prefix" \
    -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap" \
    -virtfs "local,path=$out,mount_tag=results,security_model=none,multidevs=remap" \
    </dev/null >"$vm/qemu.log" 2>&1 || rc=$?
echo "hid_vm: machine ran $(($(date +%s) - start)) s"
if ((rc == 124)); then
    echo "hid_vm: the machine did not power off within ${vm_timeout}s" >&2
fi

# The guest writes one log per test and a summary line per test to results.
shopt -s nullglob
for log in "$out"/*.log; do
    [[ $(basename "$log") == console.log ]] && continue
    echo "---- $(basename "$log" .log)"
    cat "$log"
done
if [[ ! -s $out/results ]]; then
    echo "---- console" >&2
    tail -n 60 "$out/console.log" >&2 || true
    cat "$vm/qemu.log" >&2 || true
    echo "hid_vm: no results from the machine" >&2
    exit 1
fi
echo "---- results"
cat "$out/results"
if ((rc != 0)) || grep -qv ': exit 0$' "$out/results" || ! grep -q '^done$' "$out/status"; then
    echo "hid_vm: FAILED" >&2
    exit 1
fi
echo "hid_vm: all passed"
