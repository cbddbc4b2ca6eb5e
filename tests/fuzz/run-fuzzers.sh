#!/bin/sh
# Usage: run-fuzzers.sh BUILD_DIR [SECONDS]
# Runs each fuzz target built in BUILD_DIR (configured with clang and
# -DINTRO_FUZZ=ON, target `fuzzers` built) for SECONDS (default 30), one after
# the other, each from a scratch copy of its committed seeds in
# tests/fuzz/corpus, so the committed corpus never grows. Prints each target's
# execution count. When a target crashes, hangs or leaks, prints the end of its
# report and the folder holding its log and the input that did it, and exits
# non-zero after the remaining targets have run.
set -u

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 BUILD_DIR [SECONDS]" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || exit 2
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
targets="fuzz_loader fuzz_bitmap fuzz_lookup fuzz_channels fuzz_tracks"

work=$(mktemp -d "${TMPDIR:-/tmp}/intro-fuzz.XXXXXX") || exit 2
failed=""
for target in $targets; do
    binary=$build/tests/fuzz/$target
    if [ ! -x "$binary" ]; then
        echo "$target: not built ($binary is missing)"
        failed="$failed $target"
        continue
    fi
    corpus=$work/corpus/$target
    artifacts=$work/artifacts/$target
    scratch=$work/tmp/$target
    log=$work/$target.log
    mkdir -p "$corpus" "$artifacts" "$scratch"
    cp "$here/corpus/$target/"* "$corpus/"

    # A single input that runs for 20 s counts as a hang. Scratch files the
    # targets make (fuzz_lookup's tree) go under TMPDIR, inside $work.
    TMPDIR=$scratch "$binary" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
    status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    echo "$target: ${executions:-?} executions in ${seconds} s"
    if [ "$status" -ne 0 ]; then
        echo "$target: FAILED (exit status $status); end of its report:"
        grep -v -e '^#[0-9]' -e '^stat::' "$log" | tail -n 40 | sed 's/^/    /'
        failed="$failed $target"
    fi
done

if [ -n "$failed" ]; then
    echo "fuzzing failed:$failed"
    echo "logs and crash inputs are kept in $work (artifacts/<target>/, <target>.log)"
    exit 1
fi
rm -rf "$work"
