#!/bin/sh
# Compares the search signature the bench computes with the last "Bench: N"
# stated in a commit message. Argument: the build directory.
# A change that alters the search must say so in its commit message.
BUILD=${1:-build}
cd "$(dirname "$0")/.." || exit 1

if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "signature check skipped: not a git checkout"
    exit 0
fi
expected=$(git log -1 --format=%B -E --grep='^Bench: [0-9]+' |
    sed -n 's/^Bench: \([0-9][0-9]*\).*/\1/p' | tail -n 1)
if [ -z "$expected" ]; then
    echo "signature check skipped: no commit message states a Bench: line"
    exit 0
fi
got=$("$BUILD/bench" </dev/null | sed -n 's/^Bench: \([0-9][0-9]*\)$/\1/p')
if [ "$got" != "$expected" ]; then
    echo "signature mismatch: expected $expected, got ${got:-nothing}"
    exit 1
fi
echo "signature ok: Bench: $got"
