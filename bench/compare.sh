#!/bin/sh
# Side-by-side speed of two builds, run in turn (see run.sh).
# Usage: compare.sh NEW_BUILD OLD_BUILD [RUNS]
NEW=$1
OLD=$2
RUNS=${3:-5}
sf=$(command -v stockfish 2>/dev/null)
[ -z "$sf" ] && [ -x /usr/games/stockfish ] && sf=/usr/games/stockfish

now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Milliseconds from the start of a process to "uciok", and from "uciok" to
# "readyok" after Hash 2047 (two numbers), timed by the new build's
# startup program: a shell's own process starts would cost more.
dialogue_ms() { "$NEW/startup" "$1" 2047; }

echo "== $RUNS runs each, in turn: new $NEW, old $OLD"
i=0
while [ $i -lt "$RUNS" ]; do
    for side in new old; do
        [ $side = new ] && b=$NEW || b=$OLD
        "$b/bench" >"$tmp/bench.out"
        awk '/^Bench:/ { print $2 > "'"$tmp"'/sig.'$side'" }
             /nodes per second/ { print $NF }' "$tmp/bench.out" >>"$tmp/nps.$side"
        t0=$(now); "$b/perft" 6 >/dev/null; t1=$(now)
        echo $(((t1 - t0) / 1000000)) >>"$tmp/perft.$side"
        set -- $(dialogue_ms "$b/quarvel")
        echo "$1" >>"$tmp/uciok.$side"
        echo "$2" >>"$tmp/hash.$side"
    done
    if [ -n "$sf" ]; then
        t0=$(now)
        printf 'position startpos\ngo perft 6\nquit\n' | "$sf" >/dev/null 2>&1
        t1=$(now)
        echo $(((t1 - t0) / 1000000)) >>"$tmp/perft.sf"
        set -- $(dialogue_ms "$sf")
        echo "$1" >>"$tmp/uciok.sf"
        echo "$2" >>"$tmp/hash.sf"
    fi
    i=$((i + 1))
done

m() { [ -s "$tmp/$1" ] && median <"$tmp/$1" || echo "-"; }
echo "signature: new $(cat "$tmp/sig.new") old $(cat "$tmp/sig.old")"
[ "$(cat "$tmp/sig.new")" = "$(cat "$tmp/sig.old")" ] || echo "SIGNATURES DIFFER"
printf '%-28s %12s %12s %12s\n' "median" new old stockfish
printf '%-28s %12s %12s %12s\n' "bench nodes/s" "$(m nps.new)" "$(m nps.old)" "-"
printf '%-28s %12s %12s %12s\n' "perft 6 ms (whole process)" "$(m perft.new)" "$(m perft.old)" "$(m perft.sf)"
printf '%-28s %12s %12s %12s\n' "start to uciok ms" "$(m uciok.new)" "$(m uciok.old)" "$(m uciok.sf)"
printf '%-28s %12s %12s %12s\n' "uciok to readyok, Hash 2047" "$(m hash.new)" "$(m hash.old)" "$(m hash.sf)"
paste "$tmp/nps.new" "$tmp/nps.old" | awk '{ print $1 / $2 }' >"$tmp/ratio"
echo "bench nodes/s new/old, pair by pair: $(tr '\n' ' ' <"$tmp/ratio")median $(m ratio)"
[ -s "$tmp/perft.sf" ] && echo "perft 6 new/stockfish: $(awk -v a="$(m perft.new)" -v b="$(m perft.sf)" 'BEGIN { printf "%.2f", a / b }')"
exit 0
