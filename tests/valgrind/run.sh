#!/bin/sh
# The Release build under valgrind memcheck: perft 4 of the start position,
# a UCI dialogue with a short search and pondering, and an xboard game of a
# few moves. Fails on any memcheck error or definitely lost byte.
# Usage: tests/valgrind/run.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
if ! command -v valgrind >/dev/null 2>&1; then
    echo "valgrind not installed: skipped"
    exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# An empty folder: no configuration file and no book beside the engine.
cd "$work" || exit 1
memcheck="valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite"
status=0

run() {
    name=$1
    shift
    "$@" >"$work/$name.out" 2>"$work/$name.vg"
    rc=$?
    summary=$(grep -E "ERROR SUMMARY|definitely lost" "$work/$name.vg" | sed 's/^==[0-9]*== //' | tr '\n' ' ')
    echo "$name: exit $rc; $summary"
    if [ $rc -ne 0 ] || ! grep -q "ERROR SUMMARY: 0 errors" "$work/$name.vg"; then
        status=1
        tail -40 "$work/$name.vg"
    fi
}

run perft $memcheck "$build/perft" 4
grep -q "nodes 197281 " "$work/perft.out" || { echo "perft: wrong count"; cat "$work/perft.out"; status=1; }

printf '%s\n' uci isready "setoption name Hash value 1" ucinewgame \
    "position startpos moves e2e4 e7e5" "go depth 4" \
    "position startpos moves e2e4 e7e5 g1f3" "go ponder wtime 2000 btime 2000" ponderhit \
    isready "position startpos moves e2e4 e7e5 g1f3 b8c6" "go nodes 2000 movetime 200" \
    stop quit | run uci $memcheck "$build/quarvel" -h 1M
grep -q "^bestmove" "$work/uci.out" || { echo "uci: no bestmove"; status=1; }

printf '%s\n' xboard "protover 2" new "sd 3" e2e4 force d2d4 go "sd 2" b8c6 g8f6 \
    "result 1/2-1/2 {stop}" quit | run xboard $memcheck "$build/quarvel" -h 1M
grep -q "^move " "$work/xboard.out" || { echo "xboard: no move"; status=1; }

exit $status
