// Book move choice by a weighted random draw over the legal moves, the table
// of candidates, and learning from a finished game's result into the file.
#include "book/book.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include "board/clock.h"
#include "board/gamehistory.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/output.h"
#include "board/zobrist.h"

namespace {

// The learning factor is learn x 0.00002 with the constant held in single
// precision (1.9999999494757503e-05), so the neutral 50000 weighs a hair
// below 1.0 and a move seen once in a drawn game weighs nothing.
constexpr float LEARN_SCALE = 0.00002f;

double learn_factor(std::uint32_t learn)
{
    return double(learn) * double(LEARN_SCALE);
}

const char* mark_text(std::uint32_t flags)
{
    const char* text = "";
    if (flags & BOOK_MARK_GOOD)
        text = "!";
    if (flags & BOOK_MARK_VERY_GOOD)
        text = "!!";
    if (flags & BOOK_MARK_DUBIOUS)
        text = "?";
    if (flags & BOOK_MARK_BAD)
        text = "??";
    return text;
}

int entry_weight(Position* pos, const BookEntry* entry)
{
    double base = 0;
    if (!is_draw(pos)) {
        // Black to move now means White made the move.
        std::uint32_t wins = pos->side_to_move == BLACK ? entry->white_wins : entry->black_wins;
        base = double(entry->draws) + 2.0 * double(wins);
    }
    double value = learn_factor(entry->learn) * base;
    // Huge counts must not overflow the conversion.
    int weight = value >= double(INT_MAX) ? INT_MAX : int(value);

    if (entry->flags & BOOK_MARK_GOOD)
        weight = weight > INT_MAX / 2 ? INT_MAX : weight * 2;
    if (entry->flags & BOOK_MARK_VERY_GOOD)
        weight = weight > INT_MAX / 10 ? INT_MAX : weight * 10;
    if (entry->flags & BOOK_MARK_DUBIOUS)
        weight /= 2;
    if (entry->flags & BOOK_MARK_BAD)
        weight = 0;

    switch (entry->flags & BOOK_LAST_MASK) {
        case 0:
        case BOOK_LAST_DRAW: break;
        case BOOK_LAST_WON: weight = weight > INT_MAX / 2 ? INT_MAX : weight * 2; break;
        case BOOK_LAST_LOST: weight /= 8; break;
        default: emit_text("corrupted book file\n"); break;
    }
    return weight;
}

void print_candidates(Position* pos, int count, const Move* moves, const BookCandidate* candidates,
                      Move chosen, std::uint64_t total)
{
    emit_text("  Move    Played   Prop[%%]  Score[%%]  Last Learn");
    emit_text("     +        -        =\n");
    const int root_side = pos->side_to_move;
    for (int i = 0; i < count; i++) {
        const BookCandidate* c = &candidates[i];
        if (c->weight == 0)
            continue;
        const BookEntry* e = &c->entry;
        const char* last = " ";
        switch (e->flags & BOOK_LAST_MASK) {
            case 0: last = " "; break;
            case BOOK_LAST_WON: last = "+"; break;
            case BOOK_LAST_LOST: last = "-"; break;
            case BOOK_LAST_DRAW: last = "="; break;
            default: emit_text("corrupted book file\n"); break;
        }
        const double own = root_side == WHITE ? e->white_wins : e->black_wins;
        const double other = root_side == WHITE ? e->black_wins : e->white_wins;
        const double draws = e->draws;
        const double games = own + other + draws;
        char text[48];
        snprintf(text, sizeof text, "%s%s", format_move_san(pos, moves[i]), mark_text(e->flags));
        emit_text("%s", moves[i] == chosen ? "*" : " ");
        emit_text(" %-6s %7d   %6.2f%%   %6.2f%%    %s %6.2f  %6.2f%%  %6.2f%%  %6.2f\n", text,
                  int(e->played), double(c->weight) / double(total) * 100.0,
                  games > 0 ? (draws + 2.0 * own) / (2.0 * games) * 100.0 : 0.0, last,
                  learn_factor(e->learn), games > 0 ? own / games * 100.0 : 0.0,
                  games > 0 ? other / games * 100.0 : 0.0, games > 0 ? draws / games * 100.0 : 0.0);
    }
}

} // namespace

void sort_book_candidates(int count, Move* moves, BookCandidate* candidates)
{
    for (int k = count - 1; k >= 1; k--) {
        int smallest = k;
        for (int i = 0; i < k; i++)
            if (candidates[i].weight < candidates[smallest].weight)
                smallest = i;
        if (smallest != k) {
            BookCandidate c = candidates[k];
            candidates[k] = candidates[smallest];
            candidates[smallest] = c;
            Move m = moves[k];
            moves[k] = moves[smallest];
            moves[smallest] = m;
        }
    }
}

Move choose_book_move(Position* pos)
{
    const u32 start = get_time_cs();
    if (book_file == nullptr)
        return 0;
    Move moves[MAX_MOVES];
    int count = gen_all_moves(pos, moves);
    count = remove_illegal_moves(pos, moves, count);
    if (count <= 0)
        return 0;

    BookHeader header;
    int entry_count = read_book_header(book_file, &header) == 1 ? header.entry_count : 0;

    static BookCandidate candidates[MAX_MOVES];
    // The sum of int weights can pass INT_MAX in a book of big databases.
    std::uint64_t total = 0;
    for (int i = 0; i < count; i++) {
        candidates[i].weight = 0;
        memset(&candidates[i].entry, 0, sizeof candidates[i].entry);
        make_move(pos, moves[i]);
        int index = find_book_entry(pos, 0, entry_count);
        if (index >= 0 && read_book_entry(index, &candidates[i].entry)) {
            if (book_entry_key(&candidates[i].entry) != *pos->key_top) {
                close_broken_book("\nSearch failed");
            } else {
                candidates[i].weight = entry_weight(pos, &candidates[i].entry);
                total += std::uint64_t(candidates[i].weight);
            }
        }
        unmake_move(pos, moves[i]);
        if (book_file == nullptr)
            return 0; // the book broke under the engine and is off now
    }

    Move chosen = 0;
    if (total != 0) {
        unsigned draws = ((get_time_cs() % 20u) + 2u) / 2u;
        std::uint64_t r = 0;
        for (unsigned i = 0; i < draws; i++)
            r = draw_random32();
        // Past 32 bits a single number cannot reach every weight: widen it.
        if (total > 0xFFFFFFFFull)
            r = (r << 32) | draw_random32();
        r %= total;
        std::uint64_t sum = 0;
        for (int i = 0; i < count; i++) {
            sum += std::uint64_t(candidates[i].weight);
            if (r < sum) {
                chosen = moves[i];
                break;
            }
        }
        sort_book_candidates(count, moves, candidates);
        print_candidates(pos, count, moves, candidates, chosen, total);
    }
    emit_text("Book: cache %.2f%%, time %s sec\n",
              compute_percent(book_cache_hits, book_cache_probes),
              format_time(start, get_time_cs()));
    return chosen;
}

namespace {

// Whether the game's result teaches the book anything: 1 when the engine
// won, 0 when it lost, -1 (said why) for no result, a draw, or a win over a
// much weaker or a loss to a much stronger opponent.
int learning_outcome(const Position* pos)
{
    const GameRecord* game = pos->game;
    if (game->result == RESULT_NONE || game->result < RESULT_WHITE_WON ||
        game->result > RESULT_NONE) {
        emit_text("Ignoring result\n");
        return -1;
    }
    if (game->result == RESULT_DRAW) {
        emit_text("Ignoring draw\n");
        return -1;
    }
    const int won =
        game->result == RESULT_WHITE_WON ? pos->engine_side == WHITE : pos->engine_side == BLACK;
    if (won && game->own_rating > game->opponent_rating + 150) {
        emit_text("Ignore learning weak opponent\n");
        return -1;
    }
    if (!won && game->own_rating + 150 < game->opponent_rating) {
        emit_text("Ignore learning strong opponent\n");
        return -1;
    }
    return won;
}

// The engine's book entry (at index) reached by the move in `text`: its learn value
// raised a tenth after a win, lowered a tenth after a loss, within bounds,
// and its last-result flag set. False when the book could not take it.
bool learn_book_entry(int index, BookEntry entry, int won, const char* text)
{
    const std::uint32_t old_learn = entry.learn;
    std::uint32_t learn;
    entry.flags &= ~BOOK_LAST_MASK;
    if (won) {
        entry.flags |= BOOK_LAST_WON;
        learn = std::uint32_t(std::uint64_t(old_learn) * 110 / 100);
        if (learn > BOOK_LEARN_MAX)
            learn = BOOK_LEARN_MAX;
    } else {
        entry.flags |= BOOK_LAST_LOST;
        learn = std::uint32_t(std::uint64_t(old_learn) * 90 / 100);
        if (learn < BOOK_LEARN_MIN)
            learn = BOOK_LEARN_MIN;
    }
    entry.learn = learn;
    emit_text(won ? " %s! (%.02f==>%.02f)" : " %s? (%.02f==>%.02f)", text, learn_factor(old_learn),
              learn_factor(learn));
    return write_book_entry(index, &entry);
}

} // namespace

void learn_from_result(Position* pos)
{
    if (book_file != nullptr && book_read_only) {
        emit_text("Book learning disabled\n");
        return;
    }
    if (book_file == nullptr)
        return;
    emit_text("Learning from result\n");
    GameRecord* game = pos->game;
    const int won = learning_outcome(pos);
    if (won < 0)
        return;
    BookHeader header;
    if (read_book_header(book_file, &header) != 1) {
        emit_text("Reading book header: %s\n", strerror(errno ? errno : EIO));
        return;
    }

    // The record and the moves made on the board must agree; a record longer
    // than the moves made could not be taken back.
    int move_count = game->move_count;
    if (move_count < 0 || move_count > GAME_MAX_MOVES || move_count > state_depth(pos)) {
        emit_text("Learning:\n");
        return;
    }
    for (int i = move_count - 1; i >= 0; i--)
        unmake_move(pos, game->moves[i]);
    emit_text("Learning:");

    int misses = 0;
    for (int i = 0; i < move_count; i++) {
        const Move move = game->moves[i];
        const int engine_move = pos->side_to_move == pos->engine_side;
        char text[32];
        snprintf(text, sizeof text, "%s", format_move_san(pos, move));
        make_move(pos, move);
        if (misses >= 3)
            continue;
        if (!engine_move) {
            emit_text(" %s", text);
            continue;
        }
        misses++;
        // A book that breaks turns off; the game's moves are still made again.
        int index = find_book_entry(pos, 0, header.entry_count);
        BookEntry entry;
        if (index < 0 || !read_book_entry(index, &entry))
            continue;
        if (book_entry_key(&entry) != *pos->key_top) {
            close_broken_book("Book failure");
            continue;
        }
        if (learn_book_entry(index, entry, won, text))
            misses--;
    }
    emit_text("\n");
    if (book_file != nullptr && fflush(book_file) != 0) {
        char message[160];
        snprintf(message, sizeof message, "book: fwrite: %s", strerror(errno));
        close_broken_book(message);
    }
}
