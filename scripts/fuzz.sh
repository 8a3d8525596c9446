#!/usr/bin/env bash
# Builds the fuzz targets (clang's libFuzzer with ASan and UBSan) and runs each for a bounded
# time, from the committed seeds: `scripts/fuzz.sh [seconds per target]` (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
failed=0
for target in config_string hid_discovery settings; do
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    echo "fuzzing $target for ${seconds}s"
    if ! build/fuzz/tests/fuzz/${target}_fuzz -max_total_time="$seconds" -max_len=4096 \
        -print_final_stats=1 -artifact_prefix=build/fuzz/"$target"- \
        "$corpus" tests/fuzz/seeds/"$target" >build/fuzz/"$target".log 2>&1; then
        failed=1
        tail -n 40 build/fuzz/"$target".log
        echo "fuzz: $target found a fault (input saved under build/fuzz/$target-*)"
    else
        grep -E '^stat::number_of_executed_units' build/fuzz/"$target".log | sed "s/^/$target: /"
    fi
done
exit "$failed"
