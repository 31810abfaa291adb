#!/bin/sh
# Runs libFuzzer targets one after the other, each for a set time.
#   fuzz/run.sh BUILD_DIR SECONDS TARGET...
# Each target starts from its seeds (fuzz/seeds/TARGET) plus the working
# corpus kept in BUILD_DIR/corpus/TARGET; crash inputs go to
# BUILD_DIR/artifacts/TARGET/. The last lines of each run (executions, cov,
# ft) are printed. Fails when any target found a crash, leak or timeout.
set -eu
build=$1
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for target in "$@"; do
    corpus="$build/corpus/$target"
    artifacts="$build/artifacts/$target"
    log="$build/fuzz-$target.log"
    mkdir -p "$corpus" "$artifacts"
    case $target in
        settings) maxlen=16384 ;;
        *) maxlen=8192 ;;
    esac
    dict=""
    if [ -f "$root/fuzz/$target.dict" ]; then
        dict="-dict=$root/fuzz/$target.dict"
    fi
    echo "fuzz: $target for ${seconds}s" >&2
    # Messages of the program go to standard error: closed (-close_fd_mask=2);
    # libFuzzer and the sanitizers still report on a copy of it.
    if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len="$maxlen" \
        -timeout=30 -rss_limit_mb=3072 -close_fd_mask=2 -print_final_stats=1 $dict \
        -artifact_prefix="$artifacts/" "$corpus" "$root/fuzz/seeds/$target" \
        >"$log" 2>&1 </dev/null; then
        grep -E '^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed_units' "$log" >&2 || true
    else
        echo "fuzz: $target FAILED, see $log and $artifacts" >&2
        tail -n 40 "$log" >&2
        status=1
    fi
done
exit $status
