#!/bin/sh
# Runs every fuzz target of a fuzz build for SECONDS each, starting from the
# seeds of fuzz/corpus (copied, so the repository's seeds stay as they are).
# Fails on a finding, and on a target that found no new feature at all: a
# harness whose inputs never reach new code is broken.
# Usage: fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
set -u
build=$(cd "$1" && pwd)
seconds=$2
shift 2
targets=${*:-"fen move commands config pgn book table tbindex"}
here=$(cd "$(dirname "$0")" && pwd)
work="$build/fuzz-work"
status=0
for t in $targets; do
    corpus="$work/$t"
    rm -rf "$corpus" "$work/$t.log"
    mkdir -p "$corpus" "$work/findings/$t"
    cp "$here/corpus/$t/"* "$corpus/"
    dict=""
    [ -f "$here/dict/$t.dict" ] && dict="-dict=$here/dict/$t.dict"
    "$build/${t}_fuzz" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="$work/findings/$t/" $dict "$corpus" \
        >"$work/$t.log" 2>&1
    rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$t.log")
    cov=$(grep -E '^#[0-9]+' "$work/$t.log" | tail -1 | sed -n 's/.*\(cov: [0-9]* ft: [0-9]*\).*/\1/p')
    news=$(grep -c -E '^#[0-9]+.*NEW' "$work/$t.log")
    echo "$t: ${runs:-?} runs, ${cov:-no coverage line}, $news new inputs, exit $rc"
    # A timeout on a loaded machine is a hang only if the input, run again
    # alone, still takes over the limit.
    slow=$(ls "$work/findings/$t/" | grep '^timeout-' | head -1)
    if [ $rc -ne 0 ] && [ -n "$slow" ] && ! grep -q -E 'ERROR: (Address|Leak|Undefined)|FUZZ FINDING' "$work/$t.log" &&
        "$build/${t}_fuzz" -timeout=1 -rss_limit_mb=2048 "$work/findings/$t/$slow" >"$work/$t.rerun.log" 2>&1; then
        echo "$t: $slow took over a second only under load (alone it did not); kept for a look"
        mv "$work/findings/$t/$slow" "$work/findings/$t/slow-${slow#timeout-}"
        rc=0
    fi
    if [ $rc -ne 0 ]; then
        echo "$t: FINDING (log $work/$t.log, inputs in $work/findings/$t)"
        grep -E 'ERROR|FINDING|SUMMARY' "$work/$t.log" | head -5
        status=1
    elif [ "$news" -eq 0 ]; then
        echo "$t: no new feature found: the harness is broken"
        status=1
    fi
done
exit $status
