#include "core/makemove.h"

#include <cassert>

#include "core/attacks.h"
#include "core/hashcodes.h"
#include "core/board.h"

namespace zelk {

MoveHook move_trace_hook = nullptr;

void board_init(BoardState& b) {
    b.pos.owner = &b;
    b.history_count = 0;
    b.search_ply = 1;
    b.last_move = NO_MOVE;
}

namespace {

constexpr uint64_t SIDE_BIT = uint64_t(1) << 32;

inline void set_side_bit(Position& pos) { pos.key = (pos.key & ~SIDE_BIT) + (uint64_t(pos.side) << 32); }

// Moves a piece on the board and its two bitboards; nothing when from == to.
inline void shift_piece(Position& pos, int from, int to) {
    if (from == to)
        return;
    int code = pos.board[from];
    Bitboard change = bit(from) | bit(to);
    pos.board[to] = uint8_t(code);
    pos.board[from] = 0;
    pos.pieces[code & 8] ^= change;
    pos.pieces[code] ^= change;
}

inline bool is_castling(Move m, int piece_code) { return (m & FLAG_MASK) && type_of(piece_code) == KING; }

} // namespace

void make_move(Position& pos, Move m) {
    if (move_trace_hook)
        move_trace_hook(pos, m);
    BoardState& t = *pos.owner;
    const int idx = t.history_count;
    assert(idx < HISTORY_CAPACITY);
    t.history_count = int16_t(idx + 1);
    ++t.search_ply;

    int from = move_from(m), to = move_to(m);
    const int p = pos.board[from];
    int victim = pos.board[to];
    const int us = pos.side;
    const bool castling = is_castling(m, p);
    if (castling) {
        to = (from & 0x38) + ((m & FLAG_SHORT) ? 6 : 2);
        victim = 0;
        m = make_move_code(from, to, m & FLAG_MASK);
    }

    t.last_move = m;
    t.history[idx] = UndoRecord{pos.key, pos.pawn_key, m, uint8_t(type_of(victim)), pos.ep_square,
                                pos.touched, pos.halfmove, pos.castle_rights, uint8_t(p)};

    const int old_ep = pos.ep_square;
    const int old_rights = pos.castle_rights;
    pos.ep_square = NO_SQUARE;
    pos.touched |= bit(from) | bit(to);
    for (int i = 0; i < 4; ++i)
        if (pos.castle_mask[i] & pos.touched)
            pos.castle_rights &= uint8_t(~(1u << i));
    ++pos.halfmove;
    pos.side ^= 1;

    if (old_ep != NO_SQUARE)
        pos.key ^= zobrist(0, old_ep);
    if (pos.castle_rights != old_rights)
        pos.key ^= zobrist(0, old_rights) ^ zobrist(0, pos.castle_rights);

    if (castling) {
        // Rook off first, then the king, then the rook on: Chess960 squares may overlap.
        int right = us * 2 + ((m & FLAG_SHORT) ? 0 : 1);
        int rook_from = pos.castle_rook[right];
        int rook_to = (m & FLAG_SHORT) ? to - 1 : to + 1;
        int rook = piece_code(us, ROOK);
        pos_remove_piece(pos, rook_from);
        shift_piece(pos, from, to);
        pos_put_piece(pos, us, ROOK, rook_to);
        pos.halfmove = 0;
        pos.key ^= zobrist(p, from) ^ zobrist(p, to) ^ zobrist(rook, rook_from) ^ zobrist(rook, rook_to);
        pos.king_sq[us] = uint8_t(to);
        set_side_bit(pos);
        return;
    }

    if (victim) {
        pos_remove_piece(pos, to);
        pos_toggle_key(pos, victim, to);
        pos.halfmove = 0;
    }

    shift_piece(pos, from, to);
    pos_toggle_key(pos, p, from);
    pos_toggle_key(pos, p, to);

    if (type_of(p) == PAWN) {
        const int step = us == WHITE ? 8 : -8;
        pos.halfmove = 0;
        if (to == from + 2 * step) {
            pos.ep_square = uint8_t(from + step);
            pos.key ^= zobrist(0, pos.ep_square);
        } else if (to == old_ep) {
            int captured = to - step;
            pos_toggle_key(pos, pos.board[captured], captured);
            pos_remove_piece(pos, captured);
        } else if (rank_of(to) == 0 || rank_of(to) == 7) {
            pos_toggle_key(pos, p, to);
            pos_remove_piece(pos, to);
            int promoted = promotion_type(m);
            pos_put_piece(pos, us, promoted, to);
            pos.key ^= zobrist(piece_code(us, promoted), to);
        }
    } else if (type_of(p) == KING) {
        pos.king_sq[us] = uint8_t(to);
    }
    set_side_bit(pos);
}

void unmake_move(Position& pos) {
    BoardState& t = *pos.owner;
    --t.search_ply;
    const int idx = t.history_count - 1;
    t.history_count = int16_t(idx);
    const UndoRecord& r = t.history[idx];
    const Move m = r.move;
    t.last_move = idx > 0 ? t.history[idx - 1].move : 0;

    pos.ep_square = r.ep_square;
    pos.castle_rights = r.castle_rights;
    pos.touched = r.touched;
    pos.halfmove = r.halfmove;
    pos.side ^= 1;
    const int us = pos.side;

    const int from = move_from(m), to = move_to(m);
    const int p = pos.board[to];
    if (is_castling(m, p)) {
        bool is_short = (m & FLAG_SHORT) != 0;
        int rook_to = is_short ? to - 1 : to + 1;
        int rook_from = pos.castle_rook[us * 2 + (is_short ? 0 : 1)];
        pos_remove_piece(pos, rook_to);
        shift_piece(pos, to, from);
        pos_put_piece(pos, us, ROOK, rook_from);
        pos.king_sq[us] = uint8_t(from);
    } else {
        shift_piece(pos, to, from);
        if (m & FLAG_MASK) {
            pos_remove_piece(pos, from);
            pos_put_piece(pos, us, PAWN, from);
        }
        if (r.captured)
            pos_put_piece(pos, us ^ 1, r.captured, to);
        if (type_of(p) == PAWN && to == pos.ep_square)
            pos_put_piece(pos, us ^ 1, PAWN, to - (us == WHITE ? 8 : -8));
        if (type_of(p) == KING)
            pos.king_sq[us] = uint8_t(from);
    }
    pos.key = r.key;
    pos.pawn_key = r.pawn_key;
}

int is_legal(const Position& pos, int side, Move m) {
    if (m == NO_MOVE)
        return 0;
    const int from = move_from(m), to = move_to(m);
    const int p = type_of(pos.board[from]);
    const int them = side ^ 1;
    int k = pos.king_sq[side];

    if ((m & FLAG_MASK) && p == KING) {
        // The castling rook is lifted first: in Chess960 it may stand between
        // an enemy slider and the king's destination.
        int rook = pos.castle_rook[side * 2 + ((m & FLAG_SHORT) ? 0 : 1)];
        Bitboard occ = occupancy(pos) & ~bit(rook);
        int step = to > from ? 1 : -1;
        for (int s = from;; s += step) {
            if (is_attacked(pos, s, them, occ))
                return 0;
            if (s == to)
                break;
        }
        return 1;
    }
    if (p == KING)
        k = to;

    Bitboard occ = (occupancy(pos) & ~bit(from)) | bit(to);
    // Pieces of them that still stand after the move: the victim is lifted.
    Bitboard removed = bit(to);
    if (p == PAWN && to == pos.ep_square) {
        int captured = to - (side == WHITE ? 8 : -8);
        occ &= ~bit(captured);
        removed = bit(captured);
    }
    const Bitboard* e = pos.pieces + them * 8;
    if (tables.pawn_attacks[side][k] & e[PAWN] & ~removed)
        return 0;
    if (tables.knight_attacks[k] & e[KNIGHT] & ~removed)
        return 0;
    if (tables.king_attacks[k] & e[KING] & ~removed)
        return 0;
    for (Bitboard c = tables.bishop_pseudo[k] & (e[BISHOP] | e[QUEEN]) & ~removed; c;)
        if (!(tables.between[k][pop_lsb(c)] & occ))
            return 0;
    for (Bitboard c = tables.rook_pseudo[k] & (e[ROOK] | e[QUEEN]) & ~removed; c;)
        if (!(tables.between[k][pop_lsb(c)] & occ))
            return 0;
    return 1;
}

void make_null_move(Position& pos) {
    if (move_trace_hook)
        move_trace_hook(pos, NO_MOVE);
    BoardState& t = *pos.owner;
    const int idx = t.history_count;
    assert(idx < HISTORY_CAPACITY);
    t.history_count = int16_t(idx + 1);
    ++t.search_ply;
    UndoRecord& r = t.history[idx];
    r.key = pos.key;
    r.move = NO_MOVE;
    r.captured = 0;
    r.piece = 0;
    r.ep_square = pos.ep_square;
    r.halfmove = pos.halfmove;
    const int old_ep = pos.ep_square;
    pos.ep_square = NO_SQUARE;
    pos.side ^= 1;
    t.last_move = NO_MOVE;
    if (old_ep != NO_SQUARE)
        pos.key ^= zobrist(0, old_ep);
    set_side_bit(pos);
}

void unmake_null_move(Position& pos) {
    BoardState& t = *pos.owner;
    --t.search_ply;
    const int idx = t.history_count - 1;
    t.history_count = int16_t(idx);
    const UndoRecord& r = t.history[idx];
    pos.ep_square = r.ep_square;
    pos.halfmove = r.halfmove;
    pos.side ^= 1;
    pos.key = r.key;
    t.last_move = idx > 0 ? t.history[idx - 1].move : 0;
}

} // namespace zelk
