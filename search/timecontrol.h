// Time allocation for the engine's own move and the two clock tests that the
// search makes while it runs.
//
// All times are centiseconds, the increments too, so that the sub-second
// increments of fast games count (UCI milliseconds and xboard seconds are
// converted by the command handler).
#pragma once

#include <cstdint>

struct Position;

// Clock values given by the protocol; they hold until a command replaces them.
extern int own_clock;           // time left on the engine's clock (30000)
extern int increment[2];        // increment per move of White, Black
extern int moves_to_go;         // UCI "movestogo"; 0 = not given
extern int moves_per_control;   // xboard "level" moves; 40, 0 after "uci"
extern int fixed_move_time;     // "st" / "movetime"; 0 = none
extern std::int64_t node_limit; // UCI "nodes": nodes of the search; 0 = none
extern int mate_limit;          // UCI "mate": stop at a mate in this many moves; 0 = none
// Result of the allocation (or set directly by analysis, pondering, EPD runs).
extern int time_target;  // time the search should use for this move
extern int time_maximum; // time it may use while extend_time is set
// Calendar second after which the next periodic UCI "info hashfull" line is due.
extern std::int64_t next_info_time;

// Sets time_target and time_maximum for the side to move of pos and writes
// "Time allocated: %s\n". Negative clock values count as 0.
void allocate_time(Position* pos);

// Called by the search whenever its node countdown runs out; may set
// stop_search, on the clock or on node_limit (it shortens the countdown so
// that the next call comes when the limit is due).
void check_time(Position* pos);

// Whether an iteration's score is a mate for the side to move within
// mate_limit moves.
bool mate_limit_reached(int score);

// Called by iterative deepening before it starts another iteration; may set
// stop_search when two thirds of the target are used and the score holds.
void check_iteration_time(Position* pos);

// The arithmetic of allocate_time without the globals and the message, so
// that callers and tests can ask "what would the allocation be".
struct TimeAllocation {
    int target;
    int maximum;
};
TimeAllocation compute_time_allocation(int clock, int increment_cs, int moves_left_in_control,
                                       int moves_per_ctrl, int plies_played, int fixed_time);
