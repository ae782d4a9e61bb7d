#include "core/movegen.h"

#include "core/attacks.h"

namespace zelk {

namespace {

constexpr Bitboard FILE_A = 0x0101010101010101ULL;
constexpr Bitboard FILE_H = FILE_A << 7;
constexpr Bitboard RANK_1 = 0xFFULL;
constexpr Bitboard rank_bb(int r) { return RANK_1 << (8 * r); }

// Relative-rank masks by side: RANKS[side][r] is the side's rank r + 1.
constexpr Bitboard relative_rank(int side, int r) { return rank_bb(side == WHITE ? r : 7 - r); }

inline MoveEntry* emit(MoveEntry* out, const Position& pos, int from, int to, uint16_t flags = 0) {
    out->move = make_move_code(from, to, flags);
    out->piece = pos.board[from];
    out->victim = pos.board[to];
    return out + 1;
}

// Pawn set shifted one rank forward for the side (or backward when negative).
inline Bitboard forward(Bitboard b, int side) { return side == WHITE ? b << 8 : b >> 8; }

// Emits pawn moves to each square of `targets`, coming from `to - delta`.
inline MoveEntry* emit_pawn_set(MoveEntry* out, const Position& pos, Bitboard targets, int delta) {
    while (targets) {
        int to = pop_lsb(targets);
        out = emit(out, pos, to - delta, to);
    }
    return out;
}

template <int Type>
inline Bitboard piece_attacks(int sq, Bitboard occ) {
    if constexpr (Type == KNIGHT)
        return tables.knight_attacks[sq];
    else if constexpr (Type == BISHOP)
        return bishop_attacks(sq, occ);
    else if constexpr (Type == ROOK)
        return rook_attacks(sq, occ);
    else if constexpr (Type == QUEEN)
        return bishop_attacks(sq, occ) | rook_attacks(sq, occ);
    else
        return tables.king_attacks[sq];
}

template <int Type>
inline MoveEntry* gen_piece(const Position& pos, int side, Bitboard targets, Bitboard occ, MoveEntry* out) {
    for (Bitboard from_set = pieces_of(pos, side, Type); from_set;) {
        int from = pop_lsb(from_set);
        for (Bitboard to_set = piece_attacks<Type>(from, occ) & targets; to_set;)
            out = emit(out, pos, from, pop_lsb(to_set));
    }
    return out;
}

inline MoveEntry* gen_pieces(const Position& pos, int side, Bitboard targets, Bitboard occ, MoveEntry* out) {
    out = gen_piece<KNIGHT>(pos, side, targets, occ, out);
    out = gen_piece<BISHOP>(pos, side, targets, occ, out);
    out = gen_piece<ROOK>(pos, side, targets, occ, out);
    return gen_piece<QUEEN>(pos, side, targets, occ, out);
}

constexpr uint16_t PROMOTION_FLAGS[4] = {FLAG_QUEEN, FLAG_KNIGHT, FLAG_BISHOP, FLAG_ROOK};

inline MoveEntry* emit_promotions(MoveEntry* out, const Position& pos, int from, int to, int all) {
    int n = all ? 4 : 1;
    for (int i = 0; i < n; ++i)
        out = emit(out, pos, from, to, PROMOTION_FLAGS[i]);
    return out;
}

} // namespace

MoveEntry* gen_captures(const Position& pos, int side, MoveEntry* out, int check_sq) {
    Bitboard enemy = colour_pieces(pos, side ^ 1);
    Bitboard targets = check_sq == NO_SQUARE ? enemy : bit(check_sq);
    Bitboard occ = occupancy(pos);

    // Pawns off the seventh rank: all captures towards the a-file, then towards the h-file.
    Bitboard pawns = pieces_of(pos, side, PAWN) & ~relative_rank(side, 6);
    Bitboard pawn_targets = targets | (pos.ep_square != NO_SQUARE ? bit(pos.ep_square) : 0);
    if (side == WHITE) {
        out = emit_pawn_set(out, pos, ((pawns & ~FILE_A) << 7) & pawn_targets, 7);
        out = emit_pawn_set(out, pos, ((pawns & ~FILE_H) << 9) & pawn_targets, 9);
    } else {
        out = emit_pawn_set(out, pos, ((pawns & ~FILE_A) >> 9) & pawn_targets, -9);
        out = emit_pawn_set(out, pos, ((pawns & ~FILE_H) >> 7) & pawn_targets, -7);
    }
    out = gen_pieces(pos, side, targets, occ, out);
    return gen_piece<KING>(pos, side, enemy, occ, out);
}

MoveEntry* gen_promotions(const Position& pos, int side, int all, MoveEntry* out) {
    Bitboard enemy = colour_pieces(pos, side ^ 1);
    Bitboard empty = ~occupancy(pos);
    int step = side == WHITE ? 8 : -8;
    for (Bitboard pawns = pieces_of(pos, side, PAWN) & relative_rank(side, 6); pawns;) {
        int from = pop_lsb(pawns);
        int ahead = from + step;
        if (empty & bit(ahead))
            out = emit_promotions(out, pos, from, ahead, all);
        if (file_of(from) > 0 && (enemy & bit(ahead - 1)))
            out = emit_promotions(out, pos, from, ahead - 1, all);
        if (file_of(from) < 7 && (enemy & bit(ahead + 1)))
            out = emit_promotions(out, pos, from, ahead + 1, all);
    }
    return out;
}

MoveEntry* gen_seventh_pushes(const Position& pos, int side, MoveEntry* out) {
    Bitboard pawns = pieces_of(pos, side, PAWN) & relative_rank(side, 5);
    return emit_pawn_set(out, pos, forward(pawns, side) & ~occupancy(pos), side == WHITE ? 8 : -8);
}

MoveEntry* gen_quiets(const Position& pos, int side, MoveEntry* out, int check_sq) {
    Bitboard occ = occupancy(pos);
    Bitboard empty = ~occ;
    Bitboard targets = check_sq == NO_SQUARE ? empty : tables.between[pos.king_sq[side]][check_sq] & empty;
    int step = side == WHITE ? 8 : -8;

    // Single pushes from the second to fifth relative ranks, then double pushes.
    Bitboard pawns = pieces_of(pos, side, PAWN);
    Bitboard pushers = pawns & (relative_rank(side, 1) | relative_rank(side, 2) | relative_rank(side, 3) | relative_rank(side, 4));
    out = emit_pawn_set(out, pos, forward(pushers, side) & targets, step);
    Bitboard first_step = forward(pawns & relative_rank(side, 1), side) & empty;
    out = emit_pawn_set(out, pos, forward(first_step, side) & targets, 2 * step);

    out = gen_pieces(pos, side, targets, occ, out);
    out = gen_piece<KING>(pos, side, empty, occ, out);

    for (int i = side * 2; i < side * 2 + 2; ++i) {
        if (!(pos.castle_rights & (1u << i)) || (pos.castle_path[i] & occ))
            continue;
        int king = pos.king_sq[side];
        int dest = (king & 0x38) + ((i & 1) ? 2 : 6);
        out->move = make_move_code(king, dest, (i & 1) ? FLAG_LONG : FLAG_SHORT);
        out->piece = pos.board[king];
        out->victim = 0;
        ++out;
    }
    return out;
}

MoveEntry* gen_quiet_checks(const Position& pos, int side, MoveEntry* out) {
    int k = pos.king_sq[side ^ 1];
    Bitboard occ = occupancy(pos);
    Bitboard empty = ~occ;
    int step = side == WHITE ? 8 : -8;

    Bitboard pawn_checks = tables.pawn_attacks[side ^ 1][k] & empty;
    Bitboard pawns = pieces_of(pos, side, PAWN);
    Bitboard pushers = pawns & ~(relative_rank(side, 0) | relative_rank(side, 6) | relative_rank(side, 7));
    Bitboard single = forward(pushers, side) & empty;
    out = emit_pawn_set(out, pos, single & pawn_checks, step);
    Bitboard first_step = forward(pawns & relative_rank(side, 1), side) & empty;
    out = emit_pawn_set(out, pos, forward(first_step, side) & pawn_checks, 2 * step);

    Bitboard diagonal = bishop_attacks(k, occ) & empty;
    Bitboard straight = rook_attacks(k, occ) & empty;
    out = gen_piece<KNIGHT>(pos, side, tables.knight_attacks[k] & empty, occ, out);
    out = gen_piece<BISHOP>(pos, side, diagonal, occ, out);
    out = gen_piece<ROOK>(pos, side, straight, occ, out);
    return gen_piece<QUEEN>(pos, side, diagonal | straight, occ, out);
}

MoveEntry* gen_all(const Position& pos, MoveEntry* out) {
    out = gen_captures(pos, pos.side, out, NO_SQUARE);
    out = gen_promotions(pos, pos.side, 1, out);
    out = gen_seventh_pushes(pos, pos.side, out);
    out = gen_quiets(pos, pos.side, out, NO_SQUARE);
    out->move = END_OF_LIST;
    return out;
}

int is_pseudo_legal(const Position& pos, Move m) {
    const int us = pos.side;
    const int from = move_from(m), to = move_to(m);
    const int piece = pos.board[from];
    if (!piece || colour_of(piece) != us)
        return 0;
    const int type = type_of(piece);
    const uint16_t flags = m & FLAG_MASK;
    const Bitboard occ = occupancy(pos);
    if (flags && type == KING) {
        const int right = us * 2 + ((flags & FLAG_SHORT) ? 0 : 1);
        const bool one_flag = flags == FLAG_SHORT || flags == FLAG_LONG;
        return one_flag && (pos.castle_rights & (1u << right)) && from == pos.king_sq[us] &&
               to == (from & 0x38) + ((flags & FLAG_SHORT) ? 6 : 2) && !(pos.castle_path[right] & occ);
    }
    if (from == to || (colour_pieces(pos, us) & bit(to)))
        return 0;
    if (type != PAWN)
        return !flags && (attacks_by_type(type, us, from, occ) & bit(to)) != 0;
    const int step = us == WHITE ? 8 : -8;
    const bool last_rank = rank_of(to) == (us == WHITE ? 7 : 0);
    if (last_rank != (flags != 0))
        return 0;
    if (flags && flags != FLAG_QUEEN && flags != FLAG_KNIGHT && flags != FLAG_BISHOP && flags != FLAG_ROOK)
        return 0;
    if (tables.pawn_attacks[us][from] & bit(to))
        return pos.board[to] || (to == pos.ep_square && !last_rank);
    if (to == from + step)
        return !pos.board[to];
    return to == from + 2 * step && rank_of(from) == (us == WHITE ? 1 : 6) && !pos.board[from + step] && !pos.board[to];
}

void pick_best(MoveEntry* entry) {
    MoveEntry* best = entry;
    for (MoveEntry* e = entry + 1; e->move != END_OF_LIST; ++e)
        if (e->score > best->score)
            best = e;
    MoveEntry tmp = *entry;
    *entry = *best;
    *best = tmp;
}

} // namespace zelk
