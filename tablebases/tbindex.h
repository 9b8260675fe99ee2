// Endgame-table index: the offset of a position's value byte inside a table
// file side. Offsets are fixed by the layout of existing table files, so every
// step here is exact; the functions are pure lookups over the tables built by
// init_index_tables.
#pragma once

#include <array>
#include <cstdint>

// One side's men as the index functions read them: slots 0-2 pawns, 3-5
// knights, 6-8 bishops, 9-11 rooks, 12-14 queens, 15 the king. A kind held
// once stands in its first slot, a kind held twice in its first two slots.
using TbPieceSquares = int[16];

enum {
    TB_SLOT_PAWN = 0,
    TB_SLOT_KNIGHT = 3,
    TB_SLOT_BISHOP = 6,
    TB_SLOT_ROOK = 9,
    TB_SLOT_QUEEN = 12,
    TB_SLOT_KING = 15
};

// (first side's squares, second side's squares, en-passant square or 127, flip)
// flip is 0 when the first side is White, 1 when it is Black.
using TbIndexFn = uint32_t (*)(const int* first, const int* second, int ep_square, int flip);

constexpr int TB_NO_EP_SQUARE = 127;

// Returned for input that is not a position of the row's material (kings in
// contact, a piece where no piece of its kind can stand, two men on one square
// that would leave the index space). Larger than every stored length, so a
// reader that bounds its offsets by the table length rejects it.
constexpr uint32_t TB_NOT_INDEXABLE = 0xFFFFFFFFu;

constexpr int NOT_CANONICAL = 4000;
constexpr int TB_CLASSES_462 = 462;
constexpr int TB_CLASSES_1806 = 1806;

// Square-map kinds: p is a pawn of the side not to move, P..Q are men of the
// side to move.
enum {
    TB_KIND_p = 0,
    TB_KIND_P = 1,
    TB_KIND_N = 2,
    TB_KIND_B = 3,
    TB_KIND_R = 4,
    TB_KIND_Q = 5,
    TB_KIND_COUNT = 6
};

// Constant tables.
extern const std::array<int, 64> QUADRANT_MASK;
extern const std::array<int, 64> DIAGONAL_REFLECT;
extern const std::array<int, 64> FILE_MIRROR_MASK;
extern const std::array<int, 2> COLOUR_FLIP_MASK;
extern const std::array<uint8_t, 64> IN_TRIANGLE;
extern const std::array<uint8_t, 64> OFF_DIAGONAL;
extern const std::array<uint8_t, 64> ON_OR_BELOW_DIAGONAL;
extern const std::array<std::array<int16_t, 64>, 64> KING_PAIR_CLASS_462;
extern const std::array<std::array<int16_t, 64>, 64> KING_PAIR_CLASS_1806;

// Tables built by init_index_tables. A square map is u8[64][64] stored flat:
// entry [row_king * 64 + square].
extern uint8_t* square_map[TB_KIND_COUNT];
extern uint8_t square_count[TB_KIND_COUNT][64];
extern int* single_offsets_1806[TB_KIND_COUNT];
extern int* single_offsets_462[TB_KIND_COUNT]; // N..Q only
extern int single_total_1806[TB_KIND_COUNT];
extern int single_total_462[TB_KIND_COUNT];
extern int* pair_offsets_1806[TB_KIND_COUNT][TB_KIND_COUNT]; // [higher][lower]
extern int* pair_offsets_462[TB_KIND_COUNT][TB_KIND_COUNT];
extern int pair_total_1806[TB_KIND_COUNT][TB_KIND_COUNT];
extern int pair_total_462[TB_KIND_COUNT][TB_KIND_COUNT];
extern int tb_memory_total; // bytes allocated by the tablebase code
extern uint8_t index_tables_ready;

void build_square_map(uint8_t* map, int kind, uint8_t* counts);
void build_offsets_single(const uint8_t* map,
                          const std::array<std::array<int16_t, 64>, 64>& classes,
                          const uint8_t* counts, int* offsets, int* total);
void build_offsets_pair(const uint8_t* map_lower, const uint8_t* map_higher,
                        const uint8_t* counts_lower, int* offsets,
                        const std::array<std::array<int16_t, 64>, 64>& classes,
                        const uint8_t* counts_higher, int* total);
void init_index_tables();

// Counts one side's men in a row name ("qrbn", pawns by any other letter)
// up to the next 'k' or the end; returns where it stopped.
constexpr const char* parse_piece_letters(const char* text, int counts[5])
{
    for (int i = 0; i < 5; ++i)
        counts[i] = 0;
    for (; *text && *text != 'k'; ++text) {
        switch (*text) {
            case 'q': ++counts[4]; break;
            case 'r': ++counts[3]; break;
            case 'b': ++counts[2]; break;
            case 'n': ++counts[1]; break;
            default: ++counts[0]; break;
        }
    }
    return text;
}

// The material rows with an index-function pair each, in row order (row id,
// name). Row r's functions are members 2r - 1 and 2r of TB_INDEX_FUNCTIONS
// (counted from 1), side 0 (the side named first to move) before side 1.
// Five groups, each instantiated by a file of its own (tbindex_rows_*).
// clang-format off
// Three and four men.
#define TB_INDEX_ROWS_FEW(X) \
    X(1, kpk) X(2, knk) X(3, kbk) X(4, krk) X(5, kqk) \
    X(6, kpkp) X(7, knkp) X(8, knkn) X(9, kbkp) X(10, kbkn) \
    X(11, kbkb) X(12, krkp) X(13, krkn) X(14, krkb) X(15, krkr) \
    X(16, kqkp) X(17, kqkn) X(18, kqkb) X(19, kqkr) X(20, kqkq) \
    X(21, kppk) X(22, knpk) X(23, knnk) X(24, kbpk) X(25, kbnk) \
    X(26, kbbk) X(27, krpk) X(28, krnk) X(29, krbk) X(30, krrk) \
    X(31, kqpk) X(32, kqnk) X(33, kqbk) X(34, kqrk) X(35, kqqk)
// Five men, the stronger side led by a pawn or a knight.
#define TB_INDEX_ROWS_PAWN_KNIGHT(X) \
    X(36, kppkp) X(37, kppkn) X(38, kppkb) X(39, kppkr) X(40, kppkq) \
    X(41, knpkp) X(42, knpkn) X(43, knpkb) X(44, knpkr) X(45, knpkq) \
    X(46, knnkp) X(47, knnkn) X(48, knnkb) X(49, knnkr) X(50, knnkq)
// Five men, the stronger side led by a bishop.
#define TB_INDEX_ROWS_BISHOP(X) \
    X(51, kbpkp) X(52, kbpkn) X(53, kbpkb) X(54, kbpkr) X(55, kbpkq) \
    X(56, kbnkp) X(57, kbnkn) X(58, kbnkb) X(59, kbnkr) X(60, kbnkq) \
    X(61, kbbkp) X(62, kbbkn) X(63, kbbkb) X(64, kbbkr) X(65, kbbkq)
// Five men, the stronger side led by a rook.
#define TB_INDEX_ROWS_ROOK(X) \
    X(66, krpkp) X(67, krpkn) X(68, krpkb) X(69, krpkr) X(70, krpkq) \
    X(71, krnkp) X(72, krnkn) X(73, krnkb) X(74, krnkr) X(75, krnkq) \
    X(76, krbkp) X(77, krbkn) X(78, krbkb) X(79, krbkr) X(80, krbkq) \
    X(81, krrkp) X(82, krrkn) X(83, krrkb) X(84, krrkr) X(85, krrkq)
// Five men, the stronger side led by a queen.
#define TB_INDEX_ROWS_QUEEN(X) \
    X(86, kqpkp) X(87, kqpkn) X(88, kqpkb) X(89, kqpkr) X(90, kqpkq) \
    X(91, kqnkp) X(92, kqnkn) X(93, kqnkb) X(94, kqnkr) X(95, kqnkq) \
    X(96, kqbkp) X(97, kqbkn) X(98, kqbkb) X(99, kqbkr) X(100, kqbkq) \
    X(101, kqrkp) X(102, kqrkn) X(103, kqrkb) X(104, kqrkr) X(105, kqrkq) \
    X(106, kqqkp) X(107, kqqkn) X(108, kqqkb) X(109, kqqkr) X(110, kqqkq)
#define TB_INDEX_ROWS(X) \
    TB_INDEX_ROWS_FEW(X) TB_INDEX_ROWS_PAWN_KNIGHT(X) TB_INDEX_ROWS_BISHOP(X) \
    TB_INDEX_ROWS_ROOK(X) TB_INDEX_ROWS_QUEEN(X)
// clang-format on

constexpr int TB_INDEX_ROW_COUNT = 110;
constexpr int TB_INDEX_FUNCTION_COUNT = 220;

#define TB_DECLARE_INDEX_PAIR(id, name)                                                            \
    uint32_t index_##name##_wtm(const int* first, const int* second, int ep_square, int flip);     \
    uint32_t index_##name##_btm(const int* first, const int* second, int ep_square, int flip);
TB_INDEX_ROWS(TB_DECLARE_INDEX_PAIR)
#undef TB_DECLARE_INDEX_PAIR

// Element 2 * (id - 1) + side.
extern const TbIndexFn TB_INDEX_FUNCTIONS[TB_INDEX_FUNCTION_COUNT];

// Size of the index space of row id's function for side (0 or 1): every
// legal position of the row maps below it.
uint32_t tb_index_space(int id, int side);
