#!/bin/sh
# Benchmarks run by `make bench`. Argument: the build directory.
#
# With a second build directory (say a build of an earlier commit), the two
# are compared side by side instead, old and new in turn on the same machine
# in the same run, RUNS times each (default 5; medians are quoted):
#     sh bench/run.sh build-pgo /tmp/base/build [RUNS]
# search speed with the signature of each, perft 6 beside stockfish's
# `go perft 6` (whole processes), start-up to "uciok" and the time from
# "uciok" to "readyok" for Hash 2047.
BUILD=${1:-build}
status=0

if [ -n "$2" ]; then
    exec sh "$(dirname "$0")/compare.sh" "$@"
fi

# --- move generator: perft 6 from the start position, every move made ---
echo "== perft 6, start position"
line=$("$BUILD/perft" 6) || status=1
echo "quarvel:   $line"
ours=$(echo "$line" | awk '{print $4}')

sf=$(command -v stockfish 2>/dev/null)
[ -z "$sf" ] && [ -x /usr/games/stockfish ] && sf=/usr/games/stockfish
if [ -n "$sf" ]; then
    # A perft 1 first: the moments its result and the perft 6 result
    # arrive bracket the perft 6 alone, without the program's start-up.
    printf 'position startpos\ngo perft 1\ngo perft 6\nquit\n' | "$sf" 2>/dev/null | {
        stamps=""
        while IFS= read -r out; do
            case $out in
            "Nodes searched"*) stamps="$stamps $(date +%s%N) ${out#*: }" ;;
            esac
        done
        echo "$stamps"
    } | awk -v ours="$ours" '{
        if (NF < 4) { print "stockfish: no perft result"; exit }
        sf = ($3 - $1) / 1e9
        printf "stockfish: nodes %s seconds %.3f\n", $4, sf
        printf "ratio quarvel/stockfish %.2f\n", ours / sf }'
else
    echo "stockfish: not installed, no comparison"
fi

# --- tablebase index: index computations per second over random positions ---
echo "== tablebase index, 220 functions, random positions"
"$BUILD/tbindex_bench" || status=1

# --- evaluation: evaluations per second, pawn hash warm and cold ---
echo "== evaluation, perft positions with their children and WAC"
"$BUILD/evalbench" 1 || status=1

# --- move picker, static exchange, idle input poll ---
echo "== move picker, static exchange and idle input poll"
"$BUILD/ordering_bench" "$(dirname "$0")/../data/perft/perft.epd" || status=1

# --- search: fixed positions, fixed depth, cleared state; the node count is
# the search's signature ---
echo "== search, 30 positions to depth 8, hash 16 MB"
"$BUILD/bench" || status=1

# --- EPD runner: WAC at 1 second per position, 3 extra plies; the summary
# line is the solved count, the time line the whole run ---
echo "== EPD suite wac.epd, 1 second per position"
epd_tmp=$(mktemp -d)
TMPDIR=$epd_tmp "$BUILD/quarvel" -T "$(dirname "$0")/../data/epd/wac.epd" -t 1 -p 3 \
    </dev/null 2>/dev/null | grep -E '^(Time: .*Average|Summary): ' || status=1
rm -rf "$epd_tmp"

# --- opening book: lookups per second in a 1000000-entry book, games per
# second of the builder over the shared game file read 20 times ---
echo "== opening book, lookups and building"
"$BUILD/bookbench" 1000000 20 "$(dirname "$0")/../data/pgn/engine-games.pgn" || status=1

# --- endgame tables: probes per second with a warm cache, block loads from
# raw and compressed files through a one-entry cache (generated 3-man tables) ---
echo "== endgame tables, probe and block loads"
"$BUILD/tb_bench" || status=1

exit $status
