// UCI command words of the command chain.
//
// The command handler (frontend/commands.cpp) splits a line into tokens and,
// when token 0 is one of the UCI words below, calls the matching function with
// the whole token list: tokens[0] is the command word, tokens[1..count-1] its
// arguments. Each function is called only while no search runs; none of them
// searches itself: "go" only sets the flags and limits that the main loop acts on.
#pragma once

#include <cstdint>

struct Position;

// Buffer for the four FEN fields of "position fen", terminator included.
constexpr int FEN_TEXT_LIMIT = 80;
// Moves of the last "position startpos ..." command; a drop of more than five
// moves against it starts a new game ("UCI New game").
extern int uci_start_moves;

void uci_command_uci(Position* pos, int token_count, const char* const* tokens);
void uci_command_stop(Position* pos, int token_count, const char* const* tokens);
void uci_command_isready(Position* pos, int token_count, const char* const* tokens);
void uci_command_ponderhit(Position* pos, int token_count, const char* const* tokens);
void uci_command_position(Position* pos, int token_count, const char* const* tokens);
// "go" in UCI mode only; in the other modes "go" is the xboard command.
void uci_command_go(Position* pos, int token_count, const char* const* tokens);

// Main-loop helpers for the move answer in UCI mode.
//
// uci_send_bestmove writes "bestmove <move>" (" ponder <reply>" when reply is
// not 0) straight to standard output and flushes. A move of 0 (no legal move
// in the position) is written as "bestmove 0000", the UCI null move, so that
// a GUI always gets its answer. A reply that is no legal answer to the move
// is left out rather than offered for pondering.
//
// Before writing, it waits when the search that produced the move was a ponder
// search ("go ponder" without a "ponderhit" yet) or an infinite search ("go
// infinite"): such a search may end by itself (a mate found, the depth limit
// reached), but UCI forbids the answer before "stop" or "ponderhit". While it
// waits it reads lines itself: "isready" is answered; "ponderhit" ends the
// wait of a ponder search; any other line ("stop", "quit", ...) ends the wait
// and is left in pending_line for the command handler.
//
// The main loop calls it in place of printing the bestmove line itself, with
// pv[0][0] and expected_reply after a move, or with 0 and 0 when the turn found
// no legal move.
void uci_send_bestmove(Position* pos, std::uint32_t move, std::uint32_t ponder_reply);

// True while the answer to the running "go" must be held back (see above).
bool uci_answer_must_wait();
