// EPD test-suite runner (option -T) and the solution check that the search
// calls while a suite runs.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "search/settings.h"

constexpr int TEST_SOLUTION_LIMIT = 20;

// test_mode (1 while a suite runs) is a search setting: search/settings.h.
// 0 for a "bm" position, 1 for an "am" position.
extern int test_avoid_mode;
extern Move test_solutions[TEST_SOLUTION_LIMIT];
extern int test_solution_count;
// Finished iterations a "bm" solution must stay best before the search stops.
extern int test_extra_plies;
// Finished iterations in a row whose best move was a solution.
extern int test_streak;
// Clock (centiseconds) of the first check of the current run of solution results; 0 = none.
extern std::uint32_t test_first_solve_time;
// 1 when the latest check found the best move to be a solution / to avoid all listed moves.
extern int test_solved;

// Runs every position of the EPD file for `seconds` each. Returns when the
// suite is done; a file that cannot be opened ends the program with exit code 1.
void run_test_suite(const char* file_name, int seconds, int extra_plies);

// Called by the search with final = 1 at the end of each iteration and with
// final = 0 for each new best root move.
void check_test_solution(Position* pos, int final);
