#!/bin/bash
# Runs inside the HID machine (started by its /init, scripts/hid_vm_init.sh), as root over the
# host's files: plugs in the uhid camera, starts Xvfb and Wine, and runs each HID test program,
# writing NAME.log and a line "NAME: exit N" to OUT/results for each.
# usage: hid_vm_guest.sh PROJECT PREFIX OUT
set -uo pipefail
project=$1
export WINEPREFIX=$2
out=$3
export HOME=/root PATH=/usr/local/bin:/usr/bin:/bin:/usr/local/sbin:/usr/sbin:/sbin
export WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# The camera's control folder, which the tests reach through drive Z:.
export HIDVM_CAMERA=$out/camera
# Seconds for one test program, Wine's own start-up included.
test_timeout=${HID_VM_TEST_TIMEOUT:-300}
uptime() { cut -d' ' -f1 /proc/uptime; }

echo "guest: up at $(uptime) s"
mkdir -p "$HIDVM_CAMERA"
"$project/build/native/hidvm/uhid_camera" "$HIDVM_CAMERA" &
camera_pid=$!
for ((i = 0; i < 200; i++)); do
    ls /dev/hidraw* >/dev/null 2>&1 && break
    sleep 0.05
done
echo "guest: hidraw nodes: $(ls /dev/hidraw* 2>/dev/null | tr '\n' ' ')"
for n in /sys/class/hidraw/*; do
    echo "guest: $(basename "$n"): $(cat "$n/device/uevent" 2>/dev/null | grep HID_NAME)"
done

Xvfb :7 -nolisten tcp -screen 0 1024x768x24 >/tmp/xvfb.log 2>&1 &
export DISPLAY=:7
for ((i = 0; i < 100; i++)); do
    [[ -e /tmp/.X11-unix/X7 ]] && break
    sleep 0.1
done

run() {
    local name=$1 rc=0 t0
    shift
    t0=$(uptime)
    timeout -k 10 "$test_timeout" "$@" >"$out/$name.log" 2>&1 </dev/null || rc=$?
    echo "guest: $name exit $rc, $t0 -> $(uptime) s"
    echo "$name: exit $rc" >>"$out/results"
}

# Wine's start-up (wineserver, services, winebus with its hidraw backend), paid once per phase;
# the server stays up for the phase's tests.
start_wine() {
    local t0
    t0=$(uptime)
    wineserver -p 600
    timeout -k 10 "$test_timeout" wine cmd /c exit >>"$out/wine_start.txt" 2>&1
    echo "guest: Wine started, $t0 -> $(uptime) s"
}
stop_wine() {
    wineserver -k
    timeout -k 5 60 wineserver -w
}
# Sends the camera a command as the tests do (hidvm/camera_control.h) and waits for it.
camera() {
    local n
    n=$(($(cat "$HIDVM_CAMERA/control" 2>/dev/null | wc -l) + 1))
    echo "$n $1" >>"$HIDVM_CAMERA/control"
    for ((i = 0; i < 200; i++)); do
        (($(cat "$HIDVM_CAMERA/ack" 2>/dev/null || echo 0) >= n)) && return 0
        sleep 0.05
    done
    echo "guest: the camera did not carry out \"$1\""
    return 1
}

bin=$project/build/windows
start_wine
run hid_conformance wine "$bin/tests/conformance/hid_conformance.exe"
run hid_suite wine "$bin/e2e/hid_suite.exe"
# Wine without udevd sees no device plugged in while it runs: the camera comes back before the
# next start.
stop_wine
camera unplug
camera plug
start_wine
run hid_suite_replugged wine "$bin/e2e/hid_suite.exe" replugged
stop_wine
kill "$camera_pid" 2>/dev/null
wait "$camera_pid" 2>/dev/null
echo done >"$out/status"
echo "guest: finished at $(uptime) s"
