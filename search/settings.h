// Settings the search reads and the front end sets: what kind of search runs
// and how its reports look. Defined in search/settings.cpp.
#pragma once

// 1: nothing to ponder; the main loop blocks for the next line.
extern int idle_flag;
// 1 while a ponder search runs (cleared by "ponderhit").
extern int ponder_search;
// 1: endless analysis ("analyze", -a, UCI "go infinite").
extern int analyze_mode;
// 1: thinking output in xboard mode.
extern int post_enabled;
// Opponent reply expected after the engine's move (0 none).
extern int expected_reply;
// Score of the previous search of the engine, kept across turns.
extern int previous_score;
// 1: principal variations carry move numbers (-n).
extern int show_move_numbers;
// Lines asked for by the UCI option MultiPV or the option -N; 1 = normal search.
extern int multipv_lines;
// 1 while a test suite runs; the search asks test_solution_hook only then.
extern int test_mode;
