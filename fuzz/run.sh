#!/bin/sh
# Runs every fuzz target of a TARN_FUZZ build for a bounded time.
#   fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET]
# New inputs go to BUILD_DIR/fuzz-corpus/TARGET (seeded from fuzz/corpus);
# a crash, leak or hang stops the session and leaves its input in
# BUILD_DIR/fuzz-artifacts/.  Exit status 0 when no target found anything.
set -eu
build=$1
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$build/fuzz-artifacts"
for target in loader_fuzzer report_fuzzer; do
    work="$build/fuzz-corpus/$target"
    mkdir -p "$work"
    echo "== $target: $seconds s"
    # -close_fd_mask=3: the target's own output (refusal lines, report
    # messages) is dropped; libFuzzer and the sanitizers still report.
    "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=32768 -close_fd_mask=3 -print_final_stats=1 \
        -dict="$here/run-data.dict" -artifact_prefix="$build/fuzz-artifacts/$target-" \
        "$work" "$here/corpus"
done
echo "fuzzing found nothing"
