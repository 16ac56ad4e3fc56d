#!/bin/sh
# Runs each fuzzer of a fuzz build for a bounded time, starting from the committed seeds, and fails if any of
# them finds an input that crashes it, trips a sanitizer or breaks one of its checks. The inputs found along
# the way are kept in BUILD_DIR/fuzz-corpus/, so a later run goes on from there; findings go to
# BUILD_DIR/fuzz-findings/, full logs to BUILD_DIR/fuzz-<target>.log.
# Usage: scripts/run-fuzzers.sh BUILD_DIR SECONDS   (SECONDS 0: run every seed once and stop)
set -u
build=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)

status=0
for target in bmp_reader png_reader jpeg_reader image_reader command_line; do
    corpus=$build/fuzz-corpus/$target
    # The seed folders, after the folder the fuzzer adds its finds to: the test corpus and the inputs that once
    # found a fault (fuzz/regressions/<target>, when there are any).
    case $target in
        bmp_reader) set -- "$corpus" "$root/tests/corpus/bmp" ;;
        png_reader) set -- "$corpus" "$root/tests/corpus/png" ;;
        jpeg_reader) set -- "$corpus" "$root/tests/corpus/jpeg" ;;
        image_reader) set -- "$corpus" "$root/tests/corpus/other" "$root/tests/corpus/png" "$root/tests/corpus/jpeg" \
            "$root/tests/corpus/bmp" ;;
        command_line) set -- "$corpus" "$root/fuzz/seeds/command_line" ;;
    esac
    if [ -d "$root/fuzz/regressions/$target" ]; then
        set -- "$@" "$root/fuzz/regressions/$target"
    fi
    findings=$build/fuzz-findings/$target
    log=$build/fuzz-$target.log
    mkdir -p "$corpus" "$findings"
    if [ "$seconds" -gt 0 ]; then
        limit=-max_total_time=$seconds
        echo "fuzzing $target for $seconds s"
    else
        limit=-runs=0
        echo "running the $target fuzzer over its seeds"
    fi
    if "$build/fuzz/${target}_fuzzer" "$limit" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$@" >"$log" 2>&1; then
        # The last progress line (executions, coverage, features, corpus) and the run's totals.
        grep -E '^#[0-9]+' "$log" | tail -n 1
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log"
    else
        status=1
        tail -n 40 "$log"
        echo "FINDING in $target: the input is in $findings/, the full log in $log"
    fi
done
exit $status
