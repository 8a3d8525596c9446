#!/usr/bin/env bash
# Runs 32-bit Windows test programs under Wine in a throwaway prefix with a
# private Xvfb display, and exits with the program's exit code.
set -euo pipefail

usage() {
    cat >&2 <<'EOF'
usage: scripts/wine_run.sh PROGRAM.exe [args...]
       scripts/wine_run.sh --many A.exe B.exe ...

Runs each program under Wine (win32 prefix, own Xvfb display), all in one
temporary prefix that is deleted afterwards.
Single program: exits with the program's exit code.
--many: runs each program without arguments, prints one line per program
        and exits 1 if any of them failed.

Environment:
  WINE_RUN_TIMEOUT        seconds per program (default 120); on timeout the
                          result is 124
  WINE_RUN_SETUP_TIMEOUT  seconds for creating the prefix (default 300)
Exit code 125 means the environment could not be set up.
EOF
}

die() {
    echo "wine_run: $*" >&2
    exit 125
}

many=0
if [[ ${1:-} == --many ]]; then
    many=1
    shift
fi
if [[ $# -lt 1 || $1 == -h || $1 == --help ]]; then
    usage
    exit 2
fi

run_timeout=${WINE_RUN_TIMEOUT:-120}
setup_timeout=${WINE_RUN_SETUP_TIMEOUT:-300}
[[ $run_timeout =~ ^[1-9][0-9]*$ ]] || die "WINE_RUN_TIMEOUT must be a positive integer"
[[ $setup_timeout =~ ^[1-9][0-9]*$ ]] || die "WINE_RUN_SETUP_TIMEOUT must be a positive integer"

for tool in wine wineboot wineserver Xvfb xauth timeout; do
    command -v "$tool" >/dev/null || die "$tool not found (run scripts/install_deps.sh)"
done

# Resolve paths before doing the slow setup, so a typo fails fast and the
# programs are found whatever Wine's working directory becomes.
programs=()
if ((many)); then
    for p in "$@"; do
        [[ -f $p ]] || die "no such program: $p"
        programs+=("$(realpath -- "$p")")
    done
    prog_args=()
else
    [[ -f $1 ]] || die "no such program: $1"
    programs+=("$(realpath -- "$1")")
    shift
    prog_args=("$@")
fi

workdir=""
xvfb_pid=""
socat_pid=""
prefix=""
wine_started=0

# shellcheck disable=SC2317  # called through the EXIT trap
cleanup() {
    local rc=$?
    set +e
    # Asking wineserver when none ever ran would only create a server directory.
    if ((wine_started)); then
        # -k only reaches the wineserver of this prefix and its own processes.
        WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
        WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1
    fi
    # After the wineserver, which holds the serial line's pty as its terminal.
    if [[ -n $socat_pid ]]; then
        kill "$socat_pid" 2>/dev/null
        wait "$socat_pid" 2>/dev/null
    fi
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    if ((wine_started)); then
        # Upstream Wine keeps its server socket in /tmp/.wine-UID/server-DEV-INODE
        # of the prefix, whatever TMPDIR says; remove it only if left empty.
        local dev ino
        read -r dev ino < <(stat -c '%d %i' "$prefix")
        rmdir "$(printf '/tmp/.wine-%s/server-%x-%x' "$(id -u)" "$dev" "$ino")" 2>/dev/null
    fi
    # rm -rf does not follow the prefix's symlinks (z: -> /, Desktop -> $HOME/...).
    [[ -n $workdir ]] && rm -rf -- "$workdir"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

workdir=$(mktemp -d "${TMPDIR:-/tmp}/wine_run.XXXXXX") || die "mktemp failed"
prefix=$workdir/prefix
mkdir "$prefix"
export WINEPREFIX=$prefix
# Debian's Wine puts its server socket directory under $TMPDIR and would
# leave it behind; keeping it inside the work directory removes it with it.
export TMPDIR=$workdir/tmp
mkdir "$TMPDIR"

# Start a private X server. The display number is chosen by probing from :90
# upwards; Xvfb itself refuses a number taken in between (another parallel
# run), so on failure the next number is tried. -displayfd tells us when the
# server accepts connections. A cookie keeps other local users off it.
start_xvfb() {
    local n cookie dfd=$workdir/displayfd
    export XAUTHORITY=$workdir/Xauthority
    for ((n = 90; n < 190; n++)); do
        [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
        cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
        : >"$XAUTHORITY"
        xauth -q -f "$XAUTHORITY" add ":$n" MIT-MAGIC-COOKIE-1 "$cookie" ||
            die "xauth failed"
        : >"$dfd"
        Xvfb ":$n" -displayfd 3 -auth "$XAUTHORITY" -nolisten tcp \
            -screen 0 1280x1024x24 3>"$dfd" </dev/null >"$workdir/xvfb.log" 2>&1 &
        xvfb_pid=$!
        local waited=0
        while [[ ! -s $dfd ]] && kill -0 "$xvfb_pid" 2>/dev/null && ((waited < 200)); do
            sleep 0.05
            waited=$((waited + 1))
        done
        if [[ -s $dfd ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
            export DISPLAY=:$n
            return 0
        fi
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    done
    cat "$workdir/xvfb.log" >&2 2>/dev/null || true
    die "could not start Xvfb on any display :90..:189"
}
# WINE_RUN_USE_DISPLAY=1 shows the programs on the user's own display instead.
if [[ ${WINE_RUN_USE_DISPLAY:-0} == 1 && -n ${DISPLAY:-} ]]; then
    :
else
    start_xvfb
fi

export WINEARCH=win32
export WINEDEBUG=-all
# Empty mscoree/mshtml stop the Mono/Gecko install dialogs; disabling
# winemenubuilder keeps Wine from writing menu entries and file associations
# into the user's home directory.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Runs a command with a time limit. It runs in the background so that a
# signal to this script is handled at once instead of after the command ends;
# stdin is passed on explicitly because background jobs would get /dev/null.
limited() {
    local limit=$1 pid rc=0
    shift
    timeout -k 10 "$limit" "$@" <&0 &
    pid=$!
    wait "$pid" || rc=$?
    return "$rc"
}

wine_started=1
if ! limited "$setup_timeout" wineboot -i >"$workdir/wineboot.log" 2>&1 ||
    ! limited "$setup_timeout" wineserver -w >>"$workdir/wineboot.log" 2>&1; then
    cat "$workdir/wineboot.log" >&2
    die "creating the Wine prefix failed"
fi

# With WINE_RUN_SERIAL_PAIR=1, COM2 and COM3 of the prefix are the two ends of one null-modem
# line (a socat pty pair): a test program reads on COM3 what the program under test writes to
# COM2.
if [[ ${WINE_RUN_SERIAL_PAIR:-0} == 1 ]]; then
    command -v socat >/dev/null || die "socat not found (run scripts/install_deps.sh)"
    socat pty,raw,echo=0,link="$workdir/com2" pty,raw,echo=0,link="$workdir/com3" \
        </dev/null >"$workdir/socat.log" 2>&1 &
    socat_pid=$!
    for ((i = 0; i < 100; i++)); do
        [[ -e $workdir/com2 && -e $workdir/com3 ]] && break
        sleep 0.05
    done
    [[ -e $workdir/com2 && -e $workdir/com3 ]] || die "socat did not create the serial pair"
    mkdir -p "$prefix/dosdevices"
    ln -sf "$workdir/com2" "$prefix/dosdevices/com2"
    ln -sf "$workdir/com3" "$prefix/dosdevices/com3"
fi

run_one() {
    local rc=0
    limited "$run_timeout" wine "$@" || rc=$?
    if ((rc == 124)); then
        echo "wine_run: $(basename -- "$1") timed out after ${run_timeout}s" >&2
    fi
    return "$rc"
}

if ((many)); then
    failed=0
    for p in "${programs[@]}"; do
        rc=0
        run_one "$p" || rc=$?
        echo "wine_run: $(basename -- "$p"): exit $rc"
        ((rc == 0)) || failed=1
    done
    exit "$failed"
fi

rc=0
run_one "${programs[0]}" ${prog_args[@]+"${prog_args[@]}"} || rc=$?
exit "$rc"
