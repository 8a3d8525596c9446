#!/usr/bin/env bash
# What a poll tick and a press cost in the native build against winsim: the Google Benchmark run
# (real time and counters per tick and per press), then callgrind's instruction counts per steady
# tick on each source and route and per press for a few numbers of HID interfaces.
#   scripts/bench.sh [benchmark options, e.g. --benchmark_filter=BM_PollTick]
# BENCH_TICKS (default 1000) ticks and BENCH_PRESSES (default 3) presses are counted; the HID
# interface counts are BENCH_PRESS_INTERFACES (default "1 10 100 1000").
# simulation's search of 1000 interfaces takes minutes).
set -euo pipefail
cd "$(dirname "$0")/.."

ticks=${BENCH_TICKS:-1000}
presses=${BENCH_PRESSES:-3}
read -r -a interface_counts <<<"${BENCH_PRESS_INTERFACES:-1 10 100 1000}"
routes=(RegisterHid RegisterExtensionUnit RegisterVideoInput RegisterReceiver Eva CaptureDevice)
bin=build/native/tests/bench

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if [[ ! -f build/native/CMakeCache.txt ]]; then
    cmake --preset native >"$tmp/build.log" 2>&1 || { cat "$tmp/build.log" >&2; exit 1; }
fi
if ! cmake --build --preset native -j2 --target bench tick_profile >"$tmp/build.log" 2>&1; then
    cat "$tmp/build.log" >&2
    exit 1
fi

"$bin/bench" "$@"

if ! command -v valgrind >/dev/null; then
    echo "bench: valgrind is missing (scripts/install_deps.sh installs it): no instruction counts" >&2
    exit 1
fi

# Runs tick_profile under callgrind, collecting inside ProfiledPoll only (the counted polls).
# Sets `total` to the instructions collected and `line` to tick_profile's own summary.
profile() {
    local out=$tmp/callgrind.out
    if ! valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect='ProfiledPoll()' \
        "$bin/tick_profile" "$@" >"$tmp/profile.log" 2>&1; then
        cat "$tmp/profile.log" >&2
        echo "bench: tick_profile $* failed" >&2
        exit 1
    fi
    total=$(sed -n 's/^totals: *\([0-9][0-9]*\).*/\1/p' "$out" | head -n 1)
    if [[ -z $total || $total == 0 ]]; then
        echo "bench: callgrind collected nothing inside ProfiledPoll() for: $*" >&2
        exit 1
    fi
    line=$(grep -E '^[A-Za-z].*: [0-9]+ (ticks|presses),' "$tmp/profile.log")
}

# The n-th number in tick_profile's summary line.
nth_number() {
    grep -oE '[0-9]+' <<<"${line#*: }" | sed -n "${1}p"
}

per() { # total, count
    awk -v t="$1" -v n="$2" 'BEGIN { printf "%.0f", t / n }'
}

echo
echo "Instructions per steady tick (callgrind, inside PollOnce; $ticks ticks, native Debug build)"
printf '%-24s %14s %10s %13s\n' "source and route" "instructions" "transfers" "trace writes"
for route in "${routes[@]}"; do
    profile "$route" "$ticks"
    printf '%-24s %14s %10s %13s\n' "$route" "$(per "$total" "$ticks")" \
        "$(per "$(nth_number 2)" "$ticks")" "$(per "$(nth_number 3)" "$ticks")"
done

echo
echo "Instructions per press, register source over HID, camera last (callgrind; $presses presses)"
printf '%-16s %14s %10s %17s %16s\n' "HID interfaces" "instructions" "transfers" \
    "query-only opens" "read/write opens"
for n in "${interface_counts[@]}"; do
    profile press "$n" "$presses"
    printf '%-16s %14s %10s %17s %16s\n' "$n" "$(per "$total" "$presses")" \
        "$(per "$(nth_number 2)" "$presses")" "$(per "$(nth_number 3)" "$presses")" \
        "$(per "$(nth_number 4)" "$presses")"
done
