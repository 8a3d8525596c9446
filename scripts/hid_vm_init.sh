#!/bin/busybox sh
# The HID machine's /init (scripts/hid_vm.sh puts it in the initramfs): loads the modules, mounts
# the host's root read-only over 9p with tmpfs where programs write, the results share and the
# Wine prefix as an overlay, runs scripts/hid_vm_guest.sh there and powers off.
/bin/busybox mkdir -p /usr/bin /sbin /usr/sbin
/bin/busybox --install -s
export PATH=/bin:/sbin:/usr/bin:/usr/sbin

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

for m in $(cat /modules/order); do
    insmod "/modules/$m" || echo "init: insmod $m failed"
done

for word in $(cat /proc/cmdline); do
    case $word in
    hidvm_project=*) project=${word#hidvm_project=} ;;
    hidvm_prefix=*) prefix=${word#hidvm_prefix=} ;;
    esac
done

off() {
    sync
    poweroff -f
    echo o >/proc/sysrq-trigger
}

r=/newroot
opts=trans=virtio,version=9p2000.L,msize=262144,cache=loose
if ! mount -t 9p -o "ro,$opts" hostroot $r; then
    echo "init: mounting the host's root failed"
    off
fi
# The host's root once more, without the tmpfs below: the project may live under /tmp.
mkdir -p /host
mount --bind $r /host
mount -t devtmpfs devtmpfs $r/dev
mkdir -p $r/dev/pts $r/dev/shm
mount -t devpts devpts $r/dev/pts
mount -t tmpfs tmpfs $r/dev/shm
mount -t proc proc $r/proc
mount -t sysfs sysfs $r/sys
for d in tmp run root var/tmp; do
    mount -t tmpfs -o mode=1777 tmpfs "$r/$d"
done
if [ ! -d "$r$project/scripts" ]; then
    mkdir -p "$r$project"
    mount --bind "/host$project" "$r$project"
fi
mkdir -p $r/run/hidvm/out $r/run/hidvm/prefix $r/run/hidvm/upper $r/run/hidvm/work
mount -t 9p -o "trans=virtio,version=9p2000.L,msize=262144" results $r/run/hidvm/out
mount -t overlay overlay \
    -o "lowerdir=$r$prefix,upperdir=$r/run/hidvm/upper,workdir=$r/run/hidvm/work" \
    $r/run/hidvm/prefix || echo "init: the prefix overlay failed" >>$r/run/hidvm/out/status

# Bounded here too, so that a hung test still powers the machine off.
chroot $r /usr/bin/timeout -k 5 840 /bin/bash "$project/scripts/hid_vm_guest.sh" \
    "$project" /run/hidvm/prefix /run/hidvm/out >$r/run/hidvm/out/guest.txt 2>&1
echo "guest script exit $?" >>$r/run/hidvm/out/guest.txt
off
