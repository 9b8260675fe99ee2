// Three-man endgame tables computed from scratch by retrograde analysis over
// the engine's own move generator, written in the raw table format through
// the index functions. White always holds the extra man; a pawn table takes
// the values of its promotions from the queen and rook tables.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/board.h"
#include "tablebases/material.h"
#include "tablebases/tbindex.h"

namespace tbgen {

// A solved position: outcome for the side to move and the distance in plies
// to mate (a loss of 0 plies is being mated now).
enum Outcome : uint8_t { UNSOLVED = 0, WIN = 1, LOSS = 2, DRAW = 3, ILLEGAL = 4 };

struct Value {
    uint8_t outcome = UNSOLVED;
    uint8_t plies = 0;
};

// Position number: ((side to move * 64 + white king) * 64 + black king) * 64 + man.
inline int position_number(int stm, int wk, int bk, int man)
{
    return ((stm * 64 + wk) * 64 + bk) * 64 + man;
}
constexpr int POSITION_COUNT = 2 * 64 * 64 * 64;

struct Table {
    int id = 0;   // material row: 1 kpk ... 5 kqk
    int kind = 0; // piece kind of White's man (board codes: 1 pawn .. 5 queen)
    std::vector<Value> values = std::vector<Value>(POSITION_COUNT);
    int conflicts = 0; // positions of one index with different bytes
};

inline void init_engine_tables()
{
    [[maybe_unused]] static const bool done = (init_bitboard_tables(), init_hash_keys(), true);
}

inline std::string make_fen(int kind, int stm, int wk, int bk, int man)
{
    std::string fen;
    for (int rank = 7; rank >= 0; --rank) {
        for (int file = 0, empty = 0; file < 8; ++file) {
            const int sq = rank * 8 + file;
            const char c = sq == wk ? 'K' : sq == bk ? 'k' : sq == man ? " PNBRQ"[kind] : 0;
            if (c)
                fen += empty ? std::string(1, char('0' + empty)) + c : std::string(1, c);
            empty = c ? 0 : empty + 1;
            if (file == 7 && empty)
                fen += char('0' + empty);
        }
        fen += rank ? "/" : stm == 0 ? " w - - 0 1" : " b - - 0 1";
    }
    return fen;
}

// The one non-king man of a three-man position, or -1.
inline int man_square(const Position* pos)
{
    u64 men = pos->occupied &
              ~((u64(1) << pos->king_square[WHITE]) | (u64(1) << pos->king_square[BLACK]));
    return men ? std::countr_zero(men) : -1;
}

// A move's result seen from the position after it: a position of this
// table, or an outcome decided elsewhere (capture: bare kings; promotion:
// the promoted table).
struct Successor {
    int position = -1;
    Value outside;
};

// Marks the illegal, mated and stalemated positions of the table and lists
// every other position (in `open`) with its successors.
inline void list_successors(Table& table, const Table* queen_table, const Table* rook_table,
                            std::vector<std::vector<Successor>>& successors, std::vector<int>& open)
{
    const int kind = table.kind;
    Position* pos = create_position();
    setup_new_game(pos);
    Move list[256];
    for (int n = 0; n < POSITION_COUNT; ++n) {
        const int man = n & 63, bk = (n >> 6) & 63, wk = (n >> 12) & 63, stm = n >> 18;
        Value& v = table.values[n];
        v.outcome = ILLEGAL;
        if (wk == bk || wk == man || bk == man ||
            (std::abs((wk & 7) - (bk & 7)) <= 1 && std::abs((wk >> 3) - (bk >> 3)) <= 1) ||
            (kind == PAWN && (man < 8 || man >= 56)) ||
            !set_board(pos, make_fen(kind, stm, wk, bk, man).c_str()) || is_in_check(pos, stm ^ 1))
            continue;
        const int count = remove_illegal_moves(pos, list, gen_all_moves(pos, list));
        if (count == 0) { // mated now (a loss in 0 plies) or stalemate
            v.outcome = is_in_check(pos, stm) ? LOSS : DRAW;
            continue;
        }
        v.outcome = UNSOLVED;
        open.push_back(n);
        for (int i = 0; i < count; ++i) {
            // Captures leave bare kings; minor promotions draw.
            Successor s;
            const int promo = move_promo(list[i]);
            const Table* other = promo == 4 ? queen_table : promo == 3 ? rook_table : nullptr;
            s.outside = {DRAW, 0};
            if (!move_captured(list[i]) && (!promo || other)) {
                make_move(pos, list[i]);
                const int after = position_number(stm ^ 1, pos->king_square[WHITE],
                                                  pos->king_square[BLACK], man_square(pos));
                if (promo)
                    s.outside = other->values[after];
                else
                    s.position = after;
                unmake_move(pos, list[i]);
            }
            successors[n].push_back(s);
        }
    }
    destroy_position(pos);
}

inline Table solve(int kind, const Table* queen_table, const Table* rook_table)
{
    init_engine_tables();
    Table table;
    table.kind = kind;
    table.id = kind; // the row number equals the kind: kpk 1 ... kqk 5
    std::vector<std::vector<Successor>> successors(POSITION_COUNT);
    std::vector<int> open;
    list_successors(table, queen_table, rook_table, successors, open);

    // Pass k settles the positions decided in exactly k plies.
    int longest_outside = 0;
    for (int n : open)
        for (const Successor& s : successors[n])
            if (s.position < 0 && s.outside.plies > longest_outside)
                longest_outside = s.outside.plies;
    for (int k = 1; k < 255; ++k) {
        std::vector<std::pair<int, Value>> settled;
        std::vector<int> still_open;
        for (int n : open) {
            bool win = false, all_lost_for_us = true;
            for (const Successor& s : successors[n]) {
                const Value c = s.position >= 0 ? table.values[s.position] : s.outside;
                const bool known = c.outcome != UNSOLVED && c.plies <= k - 1;
                win |= known && c.outcome == LOSS;
                all_lost_for_us &= known && c.outcome == WIN;
            }
            if (win)
                settled.push_back({n, Value{WIN, uint8_t(k)}});
            else if (all_lost_for_us)
                settled.push_back({n, Value{LOSS, uint8_t(k)}});
            else
                still_open.push_back(n);
        }
        for (auto& [n, v] : settled)
            table.values[n] = v;
        open.swap(still_open);
        if (settled.empty() && k > longest_outside + 1)
            break;
    }
    for (int n : open)
        table.values[n] = Value{DRAW, 0};
    return table;
}

// The stored byte of a value: win in m moves 127 - m, loss after m own
// moves m - 127, draw 0.
inline int8_t value_byte(Value v)
{
    if (v.outcome == WIN)
        return int8_t(127 - (v.plies + 1) / 2);
    if (v.outcome == LOSS)
        return int8_t(v.plies / 2 - 127);
    return 0;
}

// The raw file bytes of both sides; positions of one index must agree.
inline std::vector<uint8_t> table_bytes(Table& table, int side)
{
    init_index_tables();
    const MaterialRow& row = MATERIAL_ROWS[table.id];
    std::vector<uint8_t> bytes(row.length[side], 0), seen(row.length[side], 0);
    const TbIndexFn fn = TB_INDEX_FUNCTIONS[2 * (table.id - 1) + side];
    for (int n = side << 18; n < (side + 1) << 18; ++n) {
        const Value v = table.values[n];
        if (v.outcome == ILLEGAL)
            continue;
        int white[16] = {}, black[16] = {};
        white[TB_SLOT_KING] = (n >> 12) & 63;
        black[TB_SLOT_KING] = (n >> 6) & 63;
        white[(table.kind - 1) * 3] = n & 63;
        const uint32_t index = fn(white, black, TB_NO_EP_SQUARE, 0);
        const uint8_t b = uint8_t(value_byte(v));
        if (index >= bytes.size() || (seen[index] && bytes[index] != b))
            ++table.conflicts;
        else
            bytes[index] = b, seen[index] = 1;
    }
    return bytes;
}

inline bool write_file(const std::string& name, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace tbgen
