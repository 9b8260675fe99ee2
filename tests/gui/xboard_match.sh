#!/bin/sh
# A short match in the real xboard GUI under a virtual display: the engine,
# started from an empty folder (no configuration file, no book), plays two
# games against fairymax. Fails when xboard cannot start the engine, or a game
# ends on an illegal move, a forfeit or this engine's loss on time, or the
# match does not finish. Keeps the PGN, xboard's debug log and a screenshot in OUTDIR.
#
# usage: tests/gui/xboard_match.sh [ENGINE [OUTDIR]]   (installs nothing)
set -u
engine=${1:-build/quarvel}
out=${2:-build/gui}
PATH=$PATH:/usr/games

for tool in xboard Xvfb fairymax; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "xboard_match: skipped, $tool is not installed"
        exit 0
    fi
done
if [ ! -x "$engine" ]; then
    echo "xboard_match: no engine at $engine" >&2
    exit 1
fi
engine=$(realpath "$engine")
mkdir -p "$out"
out=$(realpath "$out")
rm -f "$out/match.pgn" "$out/xboard.debug" "$out/screenshot.png"
work=$(mktemp -d /tmp/quarvel-gui-XXXXXX)
mkdir "$work/bare" "$work/fairymax"

# Xvfb picks a free display itself and writes its number once it accepts
# connections; the read below waits for that line (or for Xvfb's end).
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
n=
read -r n <"$work/display"
if [ -z "$n" ]; then
    echo "xboard_match: FAILED, no virtual display could be started" >&2
    cat "$work/xvfb.log" >&2
    rm -rf "$work"
    exit 1
fi
display=":$n"
cleanup() {
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# fairymax dies when xboard turns pondering on, hence -xponder. Settings go
# to a file of our own, so the user's ~/.xboardrc is neither read nor written.
DISPLAY=$display timeout 600 xboard \
    -settingsFile "$work/xboardrc" -saveSettingsOnExit false \
    -fcp "$engine" -fd "$work/bare" -scp fairymax -sd "$work/fairymax" \
    -matchGames 2 -tc 0:10 -inc 0 -xponder -autoCallFlag true \
    -saveGameFile "$out/match.pgn" -debugMode true -nameOfDebugFile "$out/xboard.debug" \
    -popupExitMessage false -popupMoveErrors false -size medium \
    >"$work/xboard.out" 2>&1 &
xboard_pid=$!

# Screenshots while the match runs. The last one with the whole window shows
# the match's end; xboard's window is half gone in its last moments, so a
# shot much darker than the one kept does not replace it.
kept=0
while kill -0 "$xboard_pid" 2>/dev/null; do
    if command -v import >/dev/null 2>&1 &&
        DISPLAY=$display import -window root "$work/shot.png" 2>/dev/null; then
        mean=$(identify -format '%[fx:mean]' "$work/shot.png" 2>/dev/null || echo 0)
        if awk -v m="$mean" -v k="$kept" 'BEGIN { exit !(m > 0 && m >= 0.8 * k) }'; then
            mv "$work/shot.png" "$out/screenshot.png"
            kept=$mean
        fi
    fi
    # A start failure leaves xboard waiting on its error box: stop at once.
    if grep -q "Failed to start" "$out/xboard.debug" "$work/xboard.out" 2>/dev/null; then
        sleep 1
        DISPLAY=$display import -window root "$out/screenshot.png" 2>/dev/null
        kill "$xboard_pid" 2>/dev/null
        break
    fi
    sleep 1
done
wait "$xboard_pid"
status=$?

fail() {
    echo "xboard_match: FAILED, $1 (see $out)" >&2
    exit 1
}
if grep -q "Failed to start" "$out/xboard.debug" "$work/xboard.out" 2>/dev/null; then
    grep -h "Failed to start" "$out/xboard.debug" "$work/xboard.out" 2>/dev/null | head -1 >&2
    fail "xboard could not start an engine"
fi
[ "$status" -eq 124 ] && fail "the match did not finish in time"
[ -s "$out/match.pgn" ] || fail "no game was saved"
games=$(grep -c '^\[Result ' "$out/match.pgn")
[ "$games" -eq 2 ] || fail "$games games saved, 2 expected"
grep -q '^\[Result "\*"\]' "$out/match.pgn" && fail "a game has no result"
if grep -Eiq 'illegal|forfeit|crash|died|disconnect|terminat' "$out/match.pgn"; then
    grep -Eio '\{[^}]*(illegal|forfeit|crash|died|disconnect|terminat)[^}]*\}' \
        "$out/match.pgn" >&2
    fail "a game ended on an illegal move or a forfeit"
fi
# A game ended by a clock counts against this engine only when its own flag
# fell: on a loaded machine the opponent may lose on time, through no fault
# of ours. Comments may wrap, so each game's text is read as one line.
if ! awk -v name="$(basename "$engine")" '
    function judge() {
        if (text ~ /on time|flag/ && text !~ (own_white ? "White wins on time" : "Black wins on time")) {
            print "game " games ": " text > "/dev/stderr"
            lost = 1
        }
        text = ""
    }
    /^\[Event / { if (games) judge(); games++ }
    /^\[White / { own_white = index(tolower($0), tolower(name)) > 0 }
    !/^\[/ { text = text " " $0 }
    END { judge(); exit lost }
' "$out/match.pgn"; then
    fail "a game was lost on time"
fi
grep -Eq 'Illegal move .*from' "$out/xboard.debug" 2>/dev/null && fail "an engine sent an illegal move"

# The engine's score over the match.
awk -v name="$(basename "$engine")" '
    /^\[White / { white = $0 }
    /^\[Black / { black = $0 }
    /^\[Result / {
        r = $2; gsub(/[]"]/, "", r)
        own_white = index(tolower(white), tolower(name)) > 0
        if (r == "1/2-1/2") score += 0.5
        else if ((r == "1-0") == own_white) score += 1
        line = line sprintf(" %s%s", r, own_white ? " (white)" : " (black)")
        n++
    }
    END { printf "xboard_match: %d games,%s; %s scored %.1f/%d\n", n, line, name, score, n }
' "$out/match.pgn"
echo "xboard_match: PGN, debug log and screenshot in $out"
