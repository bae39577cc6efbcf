#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan and UBSan on) and runs each
# for the given number of seconds, or for the given number of executions
# when the count ends in "x" (fuzz.sh 10000000x). Targets may be named after
# the count; all run by default. Found inputs go to fuzz/corpus-run/ and
# crashes to fuzz/corpus-run/crashes/; every target runs, and the script fails
# when any of them found a crash. Each target's result, with the tail of its
# log when it failed, goes to $TARNWICK_JUNIT_DIR/fuzz-<target>.xml (default
# build/junit). Needs clang-14 and libclang-rt-14-dev.
#
#   bash scripts/fuzz.sh 20                # CI: 20 s per target
#   bash scripts/fuzz.sh 10000000x decimal
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

budget=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(celestrak dtcfile solfsmy decimal store)
build=${TARNWICK_FUZZ_BUILD:-build/fuzz}
jobs=${TARNWICK_FUZZ_JOBS:-2}
junit=$(junit_dir)

require_packages clang-14 libclang-rt-14-dev

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DTARNWICK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$jobs" >/dev/null

if [[ $budget == *x ]]; then limit=(-runs="${budget%x}"); else limit=(-max_total_time="$budget"); fi
mkdir -p fuzz/corpus-run/crashes
passed=0 failed=0
for target in "${targets[@]}"; do
    case $target in
        celestrak) dict=fuzz/dict/celestrak.dict; extra=(tests/data) ;;
        dtcfile | solfsmy) dict=fuzz/dict/set.dict; extra=(tests/data) ;;
        decimal) dict=fuzz/dict/decimal.dict; extra=() ;;
        *) dict=""; extra=() ;;
    esac
    corpus=fuzz/corpus-run/$target
    mkdir -p "$corpus"
    log=fuzz/corpus-run/$target.log
    start=$SECONDS
    status=0
    "$build/fuzz/fuzz_$target" "${limit[@]}" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -use_value_profile=1 -print_final_stats=1 -artifact_prefix="fuzz/corpus-run/crashes/$target-" \
        ${dict:+-dict="$dict"} "$corpus" "fuzz/seeds/$target" "${extra[@]}" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    if [ $status -eq 0 ]; then
        passed=$((passed + 1))
        echo "fuzz_$target: ${runs:-?} executions in $((SECONDS - start)) s"
    else
        failed=$((failed + 1))
        echo "fuzz_$target: FAILED (exit status $status) after $((SECONDS - start)) s; log $log"
        grep -E 'ERROR|fuzz check failed|SUMMARY|Test unit written' "$log" >&2 || tail -30 "$log" >&2
    fi
    junit record "$junit/fuzz-$target.xml" --suite fuzz --case "fuzz_$target" --exit-status $status --log "$log"
done
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
