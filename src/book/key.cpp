#include "book/book.h"
#include "book/random64.h"

namespace zelk {

namespace {

constexpr int CASTLE_BASE = 768;
constexpr int EP_BASE = 772;
constexpr int TURN_INDEX = 780;

// Polyglot kinds run black pawn, white pawn, black knight, ... white king.
constexpr int polyglot_kind(int code) { return 2 * (type_of(code) - 1) + (colour_of(code) == WHITE ? 1 : 0); }

// A pawn of the side to move beside the pawn that made the double step.
bool ep_capture_ready(const Position& pos) {
    const int ep = pos.ep_square;
    if (ep >= 64)
        return false;
    const int side = pos.side;
    const int pawn_sq = ep + (side == WHITE ? -8 : 8);
    if (pawn_sq < 0 || pawn_sq >= 64)
        return false;
    const int ours = piece_code(side, PAWN);
    const int file = file_of(pawn_sq);
    return (file > 0 && pos.board[pawn_sq - 1] == ours) || (file < 7 && pos.board[pawn_sq + 1] == ours);
}

// Promotion field 1..4 and the engine's marker for it.
constexpr uint16_t PROMOTION_FLAG[5] = {0, FLAG_KNIGHT, FLAG_BISHOP, FLAG_ROOK, FLAG_QUEEN};

constexpr int E1 = 4, E8 = 60;

} // namespace

uint64_t book_key(const Position& pos) {
    uint64_t key = 0;
    for (int sq = 0; sq < 64; ++sq) {
        const int code = pos.board[sq];
        if (code && type_of(code) >= PAWN && type_of(code) <= KING)
            key ^= POLYGLOT_RANDOM[64 * polyglot_kind(code) + sq];
    }
    for (int right = 0; right < CASTLE_RIGHTS; ++right)
        if (pos.castle_rights & (1u << right))
            key ^= POLYGLOT_RANDOM[CASTLE_BASE + right];
    if (ep_capture_ready(pos))
        key ^= POLYGLOT_RANDOM[EP_BASE + file_of(pos.ep_square)];
    if (pos.side == WHITE)
        key ^= POLYGLOT_RANDOM[TURN_INDEX];
    return key;
}

Move book_move_to_engine(uint16_t polyglot_move, const Position& pos) {
    const int to = polyglot_move & 63;
    const int from = (polyglot_move >> 6) & 63;
    const int promotion = (polyglot_move >> 12) & 7;
    if ((from == E1 || from == E8) && type_of(pos.board[from]) == KING) {
        // The king takes its own rook: short towards h, long towards a.
        if (to == from + 3)
            return make_move_code(from, from + 2, FLAG_SHORT);
        if (to == from - 4)
            return make_move_code(from, from - 2, FLAG_LONG);
    }
    return make_move_code(from, to, promotion <= 4 ? PROMOTION_FLAG[promotion] : 0);
}

uint16_t book_move_from_engine(Move m, const Position& pos) {
    const int from = move_from(m), to = move_to(m);
    const uint16_t flags = move_flags_of(m);
    if (flags && type_of(pos.board[from]) == KING) {
        const int right = colour_of(pos.board[from]) * 2 + ((flags & FLAG_SHORT) ? 0 : 1);
        int rook = pos.castle_rook[right];
        if (rook >= 64)
            rook = (flags & FLAG_SHORT) ? (from & 0x38) + 7 : (from & 0x38);
        return uint16_t(from << 6 | rook);
    }
    int promotion = 0;
    for (int p = 1; p <= 4; ++p)
        if (flags && flags == PROMOTION_FLAG[p])
            promotion = p;
    return uint16_t(promotion << 12 | from << 6 | to);
}

} // namespace zelk
