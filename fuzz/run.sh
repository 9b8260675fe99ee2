#!/bin/sh
# Runs fuzz targets of a fuzz build side by side, FUZZ_JOBS at a time (the
# machine's cores by default), each for SECONDS or FUZZ_RUNS inputs
# (whichever ends first; -1, the default, sets no count), then prints one
# line per target: inputs run, inputs per second, coverage, new inputs and
# the verdict. An input that takes over FUZZ_TIMEOUT seconds (1 by default)
# is a hang.
#
# Each target starts from its corpus folder: FUZZ_CORPUS/TARGET when
# FUZZ_CORPUS is set (made from the repository's seeds in fuzz/corpus the
# first time), else the repository's seeds. The run works on a copy; with
# FUZZ_CORPUS set, what it found is merged back into FUZZ_CORPUS/TARGET,
# minimised (only inputs that add coverage). The repository's seeds are
# never written.
#
# Fails on a finding, and on a target that found no new feature at all: a
# harness whose inputs never reach new code is broken.
# Usage: fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
timeout=${FUZZ_TIMEOUT:-1}

# One stretch of fuzzing into the work corpus, logged to $log.
fuzz_stretch() {
    "$build/${t}_fuzz" -max_total_time="$1" -runs="$2" -timeout="$timeout" \
        -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$work/findings/$t/" $dict "$corpus" >"$log" 2>&1
}

# A timeout on a loaded machine is a hang only if the input, run again
# alone, still takes over the limit; then it is kept aside as slow-*.
slow_only() {
    slow=$(ls "$work/findings/$t/" | grep '^timeout-' | head -1)
    [ -n "$slow" ] && ! grep -q -E 'ERROR: (Address|Leak|Undefined)|FUZZ FINDING' "$log" &&
        "$build/${t}_fuzz" -timeout="$timeout" -rss_limit_mb=2048 "$work/findings/$t/$slow" \
            >"$work/$t.rerun.log" 2>&1 &&
        mv "$work/findings/$t/$slow" "$work/findings/$t/slow-${slow#timeout-}"
}

# One target; its summary and status go to files the caller prints.
run_one() {
    build=$1 seconds=$2 t=$3
    work="$build/fuzz-work"
    corpus="$work/$t"
    rm -rf "$corpus" "$work/$t".log* "$work/findings/$t"
    mkdir -p "$corpus" "$work/findings/$t"
    seeds="$here/corpus/$t"
    if [ -n "${FUZZ_CORPUS:-}" ]; then
        if [ ! -d "$FUZZ_CORPUS/$t" ]; then
            mkdir -p "$FUZZ_CORPUS/$t" && cp "$seeds/"* "$FUZZ_CORPUS/$t/"
        fi
        seeds="$FUZZ_CORPUS/$t"
    fi
    cp "$seeds/"* "$corpus/"
    dict=""
    [ -f "$here/dict/$t.dict" ] && dict="-dict=$here/dict/$t.dict"
    # A slow input alone does not end the run: the rest of the time and of
    # the inputs go to a new stretch from the corpus found so far.
    start=$(date +%s) runs=0 news=0 stretch=0 slows=0
    while :; do
        stretch=$((stretch + 1))
        log="$work/$t.log.$stretch"
        left_runs=-1
        [ "${FUZZ_RUNS:--1}" -ge 0 ] && left_runs=$((FUZZ_RUNS - runs))
        fuzz_stretch $((seconds - ($(date +%s) - start))) $left_runs
        rc=$?
        done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        runs=$((runs + ${done_runs:-0}))
        news=$((news + $(grep -c -E '^#[0-9]+.*NEW' "$log")))
        [ $rc -ne 0 ] && slow_only && rc=0 && slows=$((slows + 1)) &&
            [ $((seconds - ($(date +%s) - start))) -gt 5 ] && [ $left_runs -ne 0 ] && continue
        break
    done
    elapsed=$(($(date +%s) - start))
    cov=$(grep -h -E '^#[0-9]+' "$work/$t".log.* | tail -1 | sed -n 's/.*\(cov: [0-9]* ft: [0-9]*\).*/\1/p')
    verdict=ok
    [ $slows -gt 0 ] && verdict="ok ($slows inputs over ${timeout} s only under load, kept as slow-*)"
    if [ $rc -ne 0 ]; then
        verdict="FINDING: $(grep -h -E 'FUZZ FINDING|ERROR|SUMMARY' "$log" | head -1); inputs in $work/findings/$t, log $log"
    elif [ "$news" -eq 0 ]; then
        verdict="BROKEN: no new feature found"
        rc=1
    fi
    if [ -n "${FUZZ_CORPUS:-}" ]; then
        # Found inputs that add coverage to the kept corpus join it.
        "$build/${t}_fuzz" -merge=1 -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
            "$FUZZ_CORPUS/$t" "$corpus" >"$work/$t.merge.log" 2>&1 ||
            verdict="$verdict; merge failed (log $work/$t.merge.log)"
    fi
    echo "$t: $runs runs in $elapsed s, $((runs / (elapsed > 0 ? elapsed : 1)))/s, ${cov:-no coverage line}, $news new inputs: $verdict" \
        >"$work/$t.summary"
    echo $rc >"$work/$t.status"
}

if [ "${1:-}" = "--one" ]; then
    shift
    run_one "$@"
    exit 0
fi

build=$(cd "$1" && pwd)
seconds=$2
shift 2
targets=${*:-"fen move commands config pgn book table tbindex"}
jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 4)}
mkdir -p "$build/fuzz-work"
for t in $targets; do
    rm -f "$build/fuzz-work/$t.summary" "$build/fuzz-work/$t.status"
done
printf '%s\n' $targets | xargs -P "$jobs" -I '{}' sh "$0" --one "$build" "$seconds" '{}'
status=0
for t in $targets; do
    if [ -f "$build/fuzz-work/$t.summary" ]; then
        cat "$build/fuzz-work/$t.summary"
        [ "$(cat "$build/fuzz-work/$t.status")" = 0 ] || status=1
    else
        echo "$t: did not run"
        status=1
    fi
done
exit $status
