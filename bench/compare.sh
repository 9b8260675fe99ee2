#!/bin/sh
# Side-by-side speed of two builds, run in turn (see run.sh).
# Usage: compare.sh NEW_BUILD OLD_BUILD [RUNS]
NEW=$1
OLD=$2
RUNS=${3:-5}
sf=$(command -v stockfish 2>/dev/null)
[ -z "$sf" ] && [ -x /usr/games/stockfish ] && sf=/usr/games/stockfish

now() { date +%s%N; }
# Processor seconds (user + system) the shell's finished children have used
# so far, into a file: on a machine other jobs share, a process's own time
# drifts less than the clock on the wall. (In a command substitution `times`
# would report a fresh subshell's.)
cpu_mark() {
    times >"$tmp/times"
    awk 'NR == 2 { split($1, u, /[ms]/); split($2, s, /[ms]/)
        printf "%.2f\n", u[1] * 60 + u[2] + s[1] * 60 + s[2] }' "$tmp/times" >"$tmp/$1"
}
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Median, lowest and highest of a file of numbers.
spread() { printf 'median %s min %s max %s' "$(median <"$1")" "$(sort -g "$1" | head -n 1)" "$(sort -g "$1" | tail -n 1)"; }
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
        cpu_mark cpu.before
        "$b/bench" >"$tmp/bench.out"
        cpu_mark cpu.after
        awk '/^Bench:/ { print $2 > "'"$tmp"'/sig.'$side'" }
             /nodes per second/ { print $NF }' "$tmp/bench.out" >>"$tmp/nps.$side"
        awk -v c="$(cat "$tmp/cpu.after")" -v d="$(cat "$tmp/cpu.before")" \
            '/^Bench:/ { printf "%.0f\n", $2 / (c - d) }' "$tmp/bench.out" >>"$tmp/cpunps.$side"
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
printf '%-28s %12s %12s %12s\n' "bench nodes/processor s" "$(m cpunps.new)" "$(m cpunps.old)" "-"
printf '%-28s %12s %12s %12s\n' "perft 6 ms (whole process)" "$(m perft.new)" "$(m perft.old)" "$(m perft.sf)"
printf '%-28s %12s %12s %12s\n' "start to uciok ms" "$(m uciok.new)" "$(m uciok.old)" "$(m uciok.sf)"
printf '%-28s %12s %12s %12s\n' "uciok to readyok, Hash 2047" "$(m hash.new)" "$(m hash.old)" "$(m hash.sf)"
ratios() { paste "$tmp/$1" "$tmp/$2" | awk '{ printf "%.4f\n", $1 / $2 }' >"$tmp/$3"; }
ratios nps.new nps.old ratio
ratios cpunps.new cpunps.old cpuratio
echo "bench nodes/s new/old, pair by pair: $(tr '\n' ' ' <"$tmp/ratio")"
echo "    $(spread "$tmp/ratio")"
echo "bench nodes/processor s new/old, pair by pair: $(tr '\n' ' ' <"$tmp/cpuratio")"
echo "    $(spread "$tmp/cpuratio")"
if [ -s "$tmp/perft.sf" ]; then
    ratios perft.new perft.sf perftratio
    echo "perft 6 new/stockfish, pair by pair: $(tr '\n' ' ' <"$tmp/perftratio")"
    echo "    $(spread "$tmp/perftratio")"
fi
exit 0
