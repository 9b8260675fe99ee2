#!/bin/sh
# Runs fuzz targets of a fuzz build side by side, FUZZ_JOBS at a time (the
# machine's cores by default), each for SECONDS or FUZZ_RUNS inputs
# (whichever ends first; -1, the default, sets no count), then prints one
# line per target: inputs run, inputs per second, coverage, new inputs and
# the verdict.
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

# One target; its summary and status go to files the caller prints.
run_one() {
    build=$1 seconds=$2 t=$3
    work="$build/fuzz-work"
    corpus="$work/$t"
    log="$work/$t.log"
    rm -rf "$corpus" "$log" "$work/findings/$t"
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
    "$build/${t}_fuzz" -max_total_time="$seconds" -runs="${FUZZ_RUNS:--1}" -timeout=1 \
        -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$work/findings/$t/" $dict "$corpus" >"$log" 2>&1
    rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(grep -E '^#[0-9]+' "$log" | tail -1 | sed -n 's/.*\(cov: [0-9]* ft: [0-9]*\).*/\1/p')
    news=$(grep -c -E '^#[0-9]+.*NEW' "$log")
    verdict=ok
    # A timeout on a loaded machine is a hang only if the input, run again
    # alone, still takes over the limit.
    slow=$(ls "$work/findings/$t/" | grep '^timeout-' | head -1)
    if [ $rc -ne 0 ] && [ -n "$slow" ] && ! grep -q -E 'ERROR: (Address|Leak|Undefined)|FUZZ FINDING' "$log" &&
        "$build/${t}_fuzz" -timeout=1 -rss_limit_mb=2048 "$work/findings/$t/$slow" >"$work/$t.rerun.log" 2>&1; then
        verdict="ok ($slow took over a second only under load; kept as slow-${slow#timeout-})"
        mv "$work/findings/$t/$slow" "$work/findings/$t/slow-${slow#timeout-}"
        rc=0
    fi
    if [ $rc -ne 0 ]; then
        verdict="FINDING: $(grep -E 'FUZZ FINDING|ERROR|SUMMARY' "$log" | head -1); inputs in $work/findings/$t, log $log"
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
    echo "$t: ${runs:-?} runs, ${speed:-?}/s, ${cov:-no coverage line}, $news new inputs: $verdict" \
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
