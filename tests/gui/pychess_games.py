#!/usr/bin/python3
"""Two games driven by pychess's own engine layer, headless.

The engine plays itself, once in each protocol on each side: White over the
xboard protocol against Black over UCI, then the colours swapped. A third
engine process analyses each game as pychess's hint panel does (xboard in the
first game, UCI in the second). Fails when pychess finds an illegal move, a
game ends without a result, on time or on a dead engine, an analysis line
holds a move pychess cannot play on its board, or an engine does not exit
with code 0.

pychess 1.0.3 on Python 3.9 and later cannot end a game: its end() raises
(TypeError from a cancel() that takes no message) before it sends "result"
and "quit". The games leave that as it is and then close the engines' input,
as a GUI that goes away does: end of input must end each engine with code 0.

usage: pychess_games.py ENGINE OUTDIR
"""
import asyncio
import hashlib
import os
import sys
import tempfile

# pychess reads and writes its settings under the home directory: a fresh one.
HOME = tempfile.mkdtemp(prefix="quarvel-pychess-")
os.environ["HOME"] = HOME
for var, sub in (("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"),
                 ("XDG_CACHE_HOME", "cache")):
    os.environ[var] = os.path.join(HOME, sub)

import gi  # noqa: E402

gi.require_version("GLib", "2.0")
gi.require_version("GObject", "2.0")
gi.require_version("Gtk", "3.0")

from pychess.Players.engineNest import discoverer  # noqa: E402
from pychess.Savers import pgn  # noqa: E402
from pychess.System import conf  # noqa: E402
from pychess.Utils.GameModel import GameModel  # noqa: E402
from pychess.Utils.Move import parseAny  # noqa: E402
from pychess.Utils.TimeModel import TimeModel  # noqa: E402
from pychess.Utils.const import (ANALYZING, BLACK, BLACKWON, DRAW, HINT,  # noqa: E402
                                 WHITE, WHITEWON, reprResult)
from pychess.Utils.logic import validate  # noqa: E402
from pychess.Variants.normal import NormalBoard  # noqa: E402

SECONDS = 20  # each side's clock, no increment
GAME_LIMIT = 300  # seconds a game may take in all
LATE_PLIES = 4  # how far behind pychess's board an analysis line may be
ENGINE, OUT = os.path.realpath(sys.argv[1]), sys.argv[2]
MD5 = hashlib.md5(open(ENGINE, "rb").read()).hexdigest()
FAILURES = []
LOOP_ERRORS = []


def fail(text):
    FAILURES.append(text)
    print("pychess_games: " + text, flush=True)


def engine_entry(protocol):
    # What pychess keeps in engines.json for an engine added by hand; the
    # folder it starts the engine in holds no book, and the README's
    # quarvel.cfg for pychess (see below).
    return {"name": "Quarvel " + protocol, "protocol": protocol, "command": ENGINE,
            "args": [], "md5": MD5, "workingDirectory": HOME}


def check_moves(gm):
    """Replays the game on a fresh pychess board; every move must be legal."""
    board = gm.boards[0]
    for ply, move in enumerate(gm.moves):
        if not validate(board, move):
            fail("ply %d: %s is not legal" % (ply + 1, move))
            return
        board = board.move(move)


def legal_line(board, pv):
    for text in pv:
        try:
            move = parseAny(board, text)
        except Exception:  # pychess's own parse errors
            return False
        if not validate(board, move):
            return False
        board = board.move(move)
    return True


def check_analysis(gm, lines, name):
    """Every line the analyser's parser emitted must hold a score, a depth and
    moves that pychess can play on its board of the line's ply. pychess moves
    its analyser to the next position without waiting for the engine to stop
    (and runs it at low priority), so on a busy machine lines of one of the
    last few positions arrive under the new ply: counted as late when they
    are legal there."""
    late = 0
    for ply, pv, score, depth in lines:
        if not pv or not isinstance(score, int) or not str(depth).strip():
            fail("%s: analysis at ply %d unreadable: %r" % (name, ply, (pv, score, depth)))
        elif not legal_line(gm.getBoardAtPly(ply), pv):
            if any(legal_line(gm.getBoardAtPly(before), pv)
                   for before in range(max(0, ply - LATE_PLIES), ply)):
                late += 1
            else:
                fail("%s: analysis at ply %d: %s is no legal line" % (name, ply, " ".join(pv)))
    if not lines:
        fail("%s: no analysis line was read" % name)
    return late


async def wait_exit(player, seconds):
    """The engine's exit code, None while it runs. asyncio reports 255 for a
    child that something else in the process reaped first (seen now and then
    under pychess); the engine itself never exits with 255, so that counts as
    "gone" once no such process is left."""
    try:
        code = await asyncio.wait_for(player.engine.proc.wait(), seconds)
    except asyncio.TimeoutError:
        return None
    if code == 255:
        try:
            os.kill(player.engine.proc.pid, 0)
        except ProcessLookupError:
            return "gone"
    return code


async def play(number, white, black, analyser):
    gm = GameModel(TimeModel(SECONDS, 0))
    players = [await discoverer.initPlayerEngine(engine_entry(p), colour, 20, NormalBoard,
                                                 SECONDS, 0)
               for p, colour in ((white, WHITE), (black, BLACK))]
    gm.setPlayers(players)
    hint = await discoverer.initAnalyzerEngine(engine_entry(analyser), ANALYZING, NormalBoard)
    hint.setOptionInitialBoard(gm)
    gm.spectators[HINT] = hint
    gm.analyzer_cids[HINT] = hint.connect("analyze", gm.on_analyze)
    lines = []
    hint.connect("analyze", lambda engine, analysis: lines.extend(
        (a[0], a[1], a[2], a[3]) for a in analysis if a is not None))
    ended = asyncio.Event()
    gm.connect("game_ended", lambda model, reason: ended.set())
    errors_before = len(LOOP_ERRORS)
    gm.start()
    name = "game %d (white %s, black %s)" % (number, white, black)
    try:
        await asyncio.wait_for(ended.wait(), GAME_LIMIT)
    except asyncio.TimeoutError:
        fail("%s: no end after %d s" % (name, GAME_LIMIT))
    result = reprResult[gm.status]
    reason = gm.reason
    # Only a mate, a resignation, a draw by the rules or by agreement counts;
    # pychess's own verdicts on a player (illegal move, time, death) do not.
    from pychess.Utils.const import (DRAW_50MOVES, DRAW_AGREE, DRAW_INSUFFICIENT,
                                     DRAW_REPETITION, DRAW_STALEMATE, WON_MATE, WON_RESIGN)
    good = {WHITEWON: (WON_MATE, WON_RESIGN), BLACKWON: (WON_MATE, WON_RESIGN),
            DRAW: (DRAW_50MOVES, DRAW_AGREE, DRAW_INSUFFICIENT, DRAW_REPETITION,
                   DRAW_STALEMATE)}
    if reason not in good.get(gm.status, ()):
        fail("%s: ended %s with pychess reason %d" % (name, result, reason))
    check_moves(gm)
    late = check_analysis(gm, lines, name)
    with open(os.path.join(OUT, "pychess-game%d.pgn" % number), "w") as handle:
        pgn.save(handle, gm)
    try:
        gm.remove_analyzer(HINT)
    except TypeError as err:  # the same failure as end()'s
        LOOP_ERRORS.append(repr(err))
    engines = players + [hint]
    if len(LOOP_ERRORS) > errors_before:
        print("pychess_games: %s: pychess's end() failed (%s); closing the engines' input"
              % (name, LOOP_ERRORS[-1]), flush=True)
    codes = await asyncio.gather(*(wait_exit(engine, 5) for engine in engines))
    for engine, code in zip(engines, codes):
        if code is None:
            # No "quit" came: end of input must end the engine.
            engine.engine.proc.stdin.close()
    codes = [code if code is not None else await wait_exit(engine, 10)
             for engine, code in zip(engines, codes)]
    if any(code not in (0, "gone") for code in codes):
        fail("%s: engine exit codes %s, 0 expected" % (name, codes))
    print("pychess_games: %s: %s (pychess reason %d), %d plies, %d analysis lines (%d late),"
          " exits %s" % (name, result, reason, len(gm.moves), len(lines), late, codes), flush=True)


async def main():
    conf.set("book_depth_max", 0)  # every move from the engines, none from pychess's book
    await play(1, "xboard", "uci", "xboard")
    await play(2, "uci", "xboard", "uci")


def on_loop_error(loop, context):
    LOOP_ERRORS.append(repr(context.get("exception") or context.get("message")))


os.makedirs(OUT, exist_ok=True)
# pychess does not read an xboard engine's resignation ("0-1 {White
# resigns}"): the game would stand still. The README's remedy, no
# resignation, lets every game run to its end.
with open(os.path.join(HOME, "quarvel.cfg"), "w") as cfg:
    cfg.write("RESIGN 30000\n")
LOOP = asyncio.new_event_loop()
asyncio.set_event_loop(LOOP)
LOOP.set_exception_handler(on_loop_error)
LOOP.run_until_complete(main())
print("pychess_games: %s; PGN in %s" % ("FAILED" if FAILURES else "passed", OUT), flush=True)
sys.exit(1 if FAILURES else 0)
