// Probing: the move generator of the probe record, the table reads with
// their orientation, the capture search, en passant and the one-ply search
// for the side a DTZ file does not store.
#include "tablebase/tbprobe.h"

#include <algorithm>

#include "core/attacks.h"
#include "tablebase/tbcore.h"

namespace zelk::tb {

namespace {

constexpr int WDL_TO_MAP[5] = {1, 3, 0, 2, 0};
constexpr uint8_t PA_FLAGS[5] = {8, 0, 0, 0, 4};
// Deepest chain of one-ply DTZ searches; real tables need one level.
constexpr int DTZ_DEPTH_LIMIT = 4;

constexpr TbMove make_tb_move(int from, int to, int promo = 0) { return TbMove(to | from << 6 | promo << 12); }

inline Bitboard side_men(const TbPosition& pos, int white) { return white ? pos.white : pos.black; }
inline Bitboard us_of(const TbPosition& pos) { return side_men(pos, pos.turn); }
inline Bitboard them_of(const TbPosition& pos) { return side_men(pos, !pos.turn); }
// Engine colour (0 white) of the side to move.
inline int colour_to_move(const TbPosition& pos) { return pos.turn ? 0 : 1; }

inline Bitboard kind_bb(const TbPosition& pos, int kind) {
    switch (kind) {
    case 1: return pos.pawns;
    case 2: return pos.knights;
    case 3: return pos.bishops;
    case 4: return pos.rooks;
    case 5: return pos.queens;
    case 6: return pos.kings;
    default: return 0;
    }
}

// Men of `by` (a colour set) attacking sq, with occ as blockers; by_colour is
// the engine colour of those men.
bool attacked(const TbPosition& pos, int sq, Bitboard by, int by_colour, Bitboard occ) {
    return (tables.king_attacks[sq] & pos.kings & by) || (tables.knight_attacks[sq] & pos.knights & by) ||
           (tables.pawn_attacks[by_colour ^ 1][sq] & pos.pawns & by) ||
           (bishop_attacks(sq, occ) & (pos.bishops | pos.queens) & by) ||
           (rook_attacks(sq, occ) & (pos.rooks | pos.queens) & by);
}

inline int king_square(const TbPosition& pos, Bitboard side) {
    const Bitboard k = pos.kings & side;
    return k ? lsb(k) : NO_SQUARE;
}

TbMove* add_targets(TbMove* out, int from, Bitboard targets) {
    while (targets)
        *out++ = make_tb_move(from, pop_lsb(targets));
    return out;
}

TbMove* add_pawn_move(TbMove* out, int from, int to) {
    if (rank_of(to) == 0 || rank_of(to) == 7) {
        // queen, knight, rook, bishop
        *out++ = make_tb_move(from, to, 1);
        *out++ = make_tb_move(from, to, 4);
        *out++ = make_tb_move(from, to, 2);
        *out++ = make_tb_move(from, to, 3);
        return out;
    }
    *out++ = make_tb_move(from, to);
    return out;
}

TbMove* generate(const TbPosition& pos, TbMove* out, bool captures_only) {
    const Bitboard us = us_of(pos), them = them_of(pos), occ = pos.white | pos.black;
    const Bitboard target = captures_only ? them : ~us;
    const int colour = colour_to_move(pos);
    for (Bitboard b = pos.kings & us; b;) {
        const int s = pop_lsb(b);
        out = add_targets(out, s, tables.king_attacks[s] & target);
    }
    for (Bitboard b = pos.queens & us; b;) {
        const int s = pop_lsb(b);
        out = add_targets(out, s, (rook_attacks(s, occ) | bishop_attacks(s, occ)) & target);
    }
    for (Bitboard b = pos.rooks & us; b;) {
        const int s = pop_lsb(b);
        out = add_targets(out, s, rook_attacks(s, occ) & target);
    }
    for (Bitboard b = pos.bishops & us; b;) {
        const int s = pop_lsb(b);
        out = add_targets(out, s, bishop_attacks(s, occ) & target);
    }
    for (Bitboard b = pos.knights & us; b;) {
        const int s = pop_lsb(b);
        out = add_targets(out, s, tables.knight_attacks[s] & target);
    }
    const int forward = colour == 0 ? 8 : -8;
    for (Bitboard b = pos.pawns & us; b;) {
        const int s = pop_lsb(b);
        for (Bitboard t = tables.pawn_attacks[colour][s] & them; t;)
            out = add_pawn_move(out, s, pop_lsb(t));
        if (pos.ep && (tables.pawn_attacks[colour][s] & bit(pos.ep)))
            *out++ = make_tb_move(s, pos.ep);
        const int to = s + forward;
        if (to < 0 || to > 63 || (occ & bit(to)))
            continue;
        const bool promotes = rank_of(to) == 0 || rank_of(to) == 7;
        if (promotes) {
            out = add_pawn_move(out, s, to);
        } else if (!captures_only) {
            *out++ = make_tb_move(s, to);
            const int start_rank = colour == 0 ? 1 : 6;
            if (rank_of(s) == start_rank && !(occ & bit(to + forward)))
                *out++ = make_tb_move(s, to + forward);
        }
    }
    return out;
}

bool is_zeroing(const TbPosition& pos, TbMove m) {
    return (pos.pawns & bit(tb_move_from(m))) || (them_of(pos) & bit(tb_move_to(m)));
}

bool has_legal_non_ep_move(const TbPosition& pos) {
    TbMove list[TB_MAX_MOVES];
    TbMove* end = tb_gen_moves(pos, list);
    TbPosition child;
    for (TbMove* m = list; m != end; ++m)
        if (!tb_is_en_passant(pos, *m) && tb_do_move(child, pos, *m))
            return true;
    return false;
}

// Squares of the men of one table list, oriented; false when the position
// lacks a man the list names.
bool collect(const TbPosition& pos, const uint8_t* list, int from, int to, int cmirror, int smirror, int* s) {
    Bitboard b = 0;
    for (int i = from; i < to; ++i) {
        if (i == from || list[i] != list[i - 1]) {
            const int code = list[i] ^ cmirror;
            b = side_men(pos, !(code >> 3)) & kind_bb(pos, code & 7);
        }
        if (!b)
            return false;
        s[i] = pop_lsb(b) ^ smirror;
    }
    return true;
}

struct Orientation {
    int cmirror, smirror, side;
};

Orientation orient(const TbPosition& pos, const TbMaterial& mat, uint64_t key) {
    if (mat.symmetric) {
        const bool flip = !pos.turn;
        return {flip ? 8 : 0, flip ? 56 : 0, 0};
    }
    const bool flip = key != mat.key;
    return {flip ? 8 : 0, flip ? 56 : 0, int(!pos.turn) ^ int(flip)};
}

// Index of the position in one of the table's encodings; `enc_of` picks the
// encoding of a file group. Returns false when squares cannot be collected.
template <typename EncOf>
bool index_of(const TbPosition& pos, const TbMaterial& mat, const Orientation& o, EncOf enc_of, const EncInfo*& ei,
              int& group, uint64_t& idx) {
    int s[TB_MAX_MEN];
    if (!mat.has_pawns) {
        group = 0;
        ei = enc_of(0);
        if (!collect(pos, ei->pieces, 0, mat.men, o.cmirror, o.smirror, s))
            return false;
        idx = encode_piece(*ei, mat.enc_type, mat.men, s);
        return true;
    }
    const EncInfo* first = enc_of(0);
    if (!collect(pos, first->pieces, 0, mat.pawns[0], o.cmirror, o.smirror, s))
        return false;
    put_leading_pawn_first(s, mat.pawns[0]);
    group = pawn_file_group(s[0]);
    ei = enc_of(group);
    if (!collect(pos, ei->pieces, mat.pawns[0], mat.men, o.cmirror, o.smirror, s))
        return false;
    idx = encode_pawn(*ei, mat, s);
    return true;
}

int probe_wdl_table(const TbPosition& pos, int& success) {
    success = 1;
    if ((pos.white | pos.black) == pos.kings)
        return 0;
    const uint64_t key = tb_calc_key(pos, false);
    TbEntry* e = get_wdl_table(key);
    if (!e) {
        success = 0;
        return 0;
    }
    const Orientation o = orient(pos, e->mat, key);
    const EncInfo* ei;
    int group;
    uint64_t idx;
    if (!index_of(pos, e->mat, o, [&](int g) { return &e->enc[g][o.side]; }, ei, group, idx)) {
        success = 0;
        return 0;
    }
    const int v = decompress_pairs(ei->pairs, idx);
    if (v < 0) {
        success = 0;
        return 0;
    }
    return v - 2;
}

// success -1: the table does not store this side to move.
int probe_dtz_table(const TbPosition& pos, int wdl, int& success) {
    const uint64_t key = tb_calc_key(pos, false);
    DtzEntry* e = get_dtz_table(key);
    success = 0;
    if (!e)
        return 0;
    const Orientation o = orient(pos, e->mat, key);
    const EncInfo* ei;
    int group;
    uint64_t idx;
    if (!index_of(pos, e->mat, o, [&](int g) { return &e->enc[g]; }, ei, group, idx))
        return 0;
    const uint8_t flags = ei->pairs.flags;
    const bool always_readable = e->mat.symmetric && !e->mat.has_pawns;
    if (!always_readable && (flags & 1) != o.side) {
        success = -1;
        return 0;
    }
    int v = decompress_pairs(ei->pairs, idx);
    if (v < 0)
        return 0;
    if (flags & 2) {
        const int m = WDL_TO_MAP[wdl + 2];
        if (uint32_t(v) >= e->map_len[group][m])
            return 0;
        const uint8_t* p = e->map + e->map_idx[group][m];
        v = (flags & 16) ? int(p[2 * v] | p[2 * v + 1] << 8) : p[v];
    }
    if (!(flags & PA_FLAGS[wdl + 2]) || (wdl & 1))
        v *= 2;
    success = 1;
    return v;
}

int probe_ab(const TbPosition& pos, int alpha, int beta, int& success) {
    TbMove list[TB_MAX_CAPTURES];
    TbMove* end = tb_gen_captures(pos, list);
    TbPosition child;
    for (TbMove* m = list; m != end; ++m) {
        if (tb_is_en_passant(pos, *m) || !tb_do_move(child, pos, *m))
            continue;
        const int v = -probe_ab(child, -beta, -alpha, success);
        if (success == 0)
            return 0;
        if (v > alpha) {
            if (v >= beta) {
                success = 2;
                return v;
            }
            alpha = v;
        }
    }
    const int v = probe_wdl_table(pos, success);
    if (success == 0)
        return 0;
    if (alpha >= v) {
        success = 1 + (alpha > 0);
        return alpha;
    }
    success = 1;
    return v;
}

// Best WDL over the legal en-passant captures, -3 when there is none.
int best_ep_capture(const TbPosition& pos, int& success) {
    int best = -3;
    TbMove list[TB_MAX_CAPTURES];
    TbMove* end = tb_gen_ep_captures(pos, list);
    TbPosition child;
    for (TbMove* m = list; m != end; ++m) {
        if (!tb_do_move(child, pos, *m))
            continue;
        const int v = -probe_ab(child, -2, 2, success);
        if (success == 0)
            return -3;
        best = std::max(best, v);
    }
    return best;
}

// WDL with the en-passant captures weighed.
int probe_wdl_with_ep(const TbPosition& pos, int& success) {
    success = 1;
    int v = probe_ab(pos, -2, 2, success);
    if (success == 0 || !pos.ep)
        return v;
    const int v1 = best_ep_capture(pos, success);
    if (success == 0)
        return 0;
    if (v1 > -3) {
        if (v1 >= v)
            v = v1;
        else if (v == 0 && !has_legal_non_ep_move(pos))
            v = v1;
    }
    success = 1;
    return v;
}

// WDL of a successor; after a double push that allows an en-passant capture
// the capture is weighed too, since no table holds that right.
int successor_wdl(const TbPosition& child, int alpha, int beta, int& success) {
    return child.ep ? probe_wdl_with_ep(child, success) : probe_ab(child, alpha, beta, success);
}

bool probe_ok(const TbPosition& pos) {
    return popcount(pos.white | pos.black) <= TB_MAX_MEN && popcount(pos.kings & pos.white) == 1 &&
           popcount(pos.kings & pos.black) == 1;
}

int dtz_probe(const TbPosition& pos, int& success, int depth);

int dtz_probe_no_ep(const TbPosition& pos, int& success, int depth) {
    success = 1;
    const int wdl = probe_ab(pos, -2, 2, success);
    if (success == 0 || wdl == 0)
        return 0;
    if (success == 2)
        return wdl == 2 ? 1 : 101;

    TbMove list[TB_MAX_MOVES];
    TbMove* end = tb_gen_moves(pos, list);
    TbPosition child;
    if (wdl > 0) {
        // A pawn push that keeps the win zeroes at once.
        for (TbMove* m = list; m != end; ++m) {
            if (!(pos.pawns & bit(tb_move_from(*m))) || (them_of(pos) & bit(tb_move_to(*m))) ||
                tb_is_en_passant(pos, *m) || !tb_do_move(child, pos, *m))
                continue;
            const int v = -successor_wdl(child, -2, -wdl + 1, success);
            if (success == 0)
                return 0;
            if (v == wdl)
                return wdl == 2 ? 1 : 101;
        }
    }
    int dtz = probe_dtz_table(pos, wdl, success);
    if (success == 1) {
        dtz += 1 + ((wdl & 1) ? 100 : 0);
        return wdl >= 0 ? dtz : -dtz;
    }
    if (success == 0 || depth >= DTZ_DEPTH_LIMIT) {
        success = 0;
        return 0;
    }
    // This side is not stored: one ply down to the side that is.
    if (wdl > 0) {
        int best = 0x7FFF;
        for (TbMove* m = list; m != end; ++m) {
            if (is_zeroing(pos, *m) || tb_is_en_passant(pos, *m) || !tb_do_move(child, pos, *m))
                continue;
            // A mate zeroes the count as a capture would: nothing is shorter.
            if (tb_is_mate(child)) {
                success = 1;
                return 1;
            }
            const int v = -dtz_probe(child, success, depth + 1);
            if (success == 0)
                return 0;
            if (v > 0 && v + 1 < best)
                best = v + 1;
        }
        if (best == 0x7FFF) {
            success = 0;  // a win without a winning move: the tables disagree
            return 0;
        }
        success = 1;
        return best;
    }
    int best = -1;
    for (TbMove* m = list; m != end; ++m) {
        if (!tb_do_move(child, pos, *m))
            continue;
        int v;
        if (child.rule50 == 0) {
            if (wdl == -2) {
                v = -1;
            } else {
                v = successor_wdl(child, 1, 2, success);
                v = v == 2 ? 0 : -101;
            }
        } else {
            v = -dtz_probe(child, success, depth + 1) - 1;
        }
        if (success == 0)
            return 0;
        best = std::min(best, v);
    }
    success = 1;
    return best;
}

int dtz_probe(const TbPosition& pos, int& success, int depth) {
    int v = dtz_probe_no_ep(pos, success, depth);
    if (!pos.ep || success == 0)
        return v;
    int v1 = best_ep_capture(pos, success);
    if (success == 0)
        return 0;
    success = 1;
    if (v1 == -3)
        return v;
    v1 = WDL_TO_DTZ[v1 + 2];
    if (v < -100) {
        if (v1 >= 0)
            v = v1;
    } else if (v < 0) {
        if (v1 >= 0 || v1 < -100)
            v = v1;
    } else if (v > 100) {
        if (v1 > 0)
            v = v1;
    } else if (v > 0) {
        if (v1 == 1)
            v = v1;
    } else if (v1 >= 0 || !has_legal_non_ep_move(pos)) {
        v = v1;
    }
    return v;
}

} // namespace

TbMove* tb_gen_moves(const TbPosition& pos, TbMove* out) { return generate(pos, out, false); }
TbMove* tb_gen_captures(const TbPosition& pos, TbMove* out) { return generate(pos, out, true); }

TbMove* tb_gen_ep_captures(const TbPosition& pos, TbMove* out) {
    if (!pos.ep)
        return out;
    const int colour = colour_to_move(pos);
    for (Bitboard b = tables.pawn_attacks[colour ^ 1][pos.ep] & pos.pawns & us_of(pos); b;)
        *out++ = make_tb_move(pop_lsb(b), pos.ep);
    return out;
}

bool tb_is_en_passant(const TbPosition& pos, TbMove move) {
    return pos.ep && tb_move_to(move) == pos.ep && (pos.pawns & us_of(pos) & bit(tb_move_from(move)));
}

bool tb_do_move(TbPosition& child, const TbPosition& pos, TbMove move) {
    const int from = tb_move_from(move), to = tb_move_to(move), promo = tb_move_promotes(move);
    const Bitboard from_bb = bit(from), to_bb = bit(to);
    const int colour = colour_to_move(pos);
    child = pos;
    Bitboard& us = pos.turn ? child.white : child.black;
    Bitboard& them = pos.turn ? child.black : child.white;
    Bitboard* kinds[6] = {&child.pawns, &child.knights, &child.bishops, &child.rooks, &child.queens, &child.kings};

    const bool pawn_move = pos.pawns & from_bb;
    bool capture = them & to_bb;
    if (capture)
        for (Bitboard* k : kinds)
            *k &= ~to_bb;
    them &= ~to_bb;
    if (pawn_move && pos.ep && to == pos.ep) {
        const Bitboard victim = bit(to + (colour == 0 ? -8 : 8));
        them &= ~victim;
        child.pawns &= ~victim;
        capture = true;
    }
    for (Bitboard* k : kinds)
        if (*k & from_bb)
            *k = (*k & ~from_bb) | to_bb;
    us = (us & ~from_bb) | to_bb;
    if (promo) {
        child.pawns &= ~to_bb;
        Bitboard* promoted[5] = {nullptr, &child.queens, &child.rooks, &child.bishops, &child.knights};
        if (promo <= 4)
            *promoted[promo] |= to_bb;
    }
    child.turn = pos.turn ^ 1;
    child.rule50 = (capture || pawn_move) ? 0 : uint8_t(std::min(pos.rule50 + 1, 255));
    child.ep = 0;
    if (pawn_move && (to - from == 16 || from - to == 16)) {
        const int passed = (from + to) / 2;
        if (tables.pawn_attacks[colour][passed] & child.pawns & them)
            child.ep = uint8_t(passed);
    }
    const int k = king_square(child, us);
    if (k == NO_SQUARE)
        return false;
    return !attacked(child, k, them, colour ^ 1, child.white | child.black);
}

bool tb_in_check(const TbPosition& pos) {
    const Bitboard us = us_of(pos);
    const int k = king_square(pos, us);
    return k != NO_SQUARE && attacked(pos, k, them_of(pos), colour_to_move(pos) ^ 1, pos.white | pos.black);
}

bool tb_is_valid(const TbPosition& pos) {
    const Bitboard them = them_of(pos);
    const int k = king_square(pos, them);
    return k != NO_SQUARE && !attacked(pos, k, us_of(pos), colour_to_move(pos), pos.white | pos.black);
}

bool tb_is_mate(const TbPosition& pos) {
    if (!tb_in_check(pos))
        return false;
    TbMove list[TB_MAX_MOVES];
    TbMove* end = tb_gen_moves(pos, list);
    TbPosition child;
    for (TbMove* m = list; m != end; ++m)
        if (tb_do_move(child, pos, *m))
            return false;
    return true;
}

uint64_t tb_calc_key(const TbPosition& pos, bool mirror) {
    int counts[2][7] = {};
    for (int c = 0; c < 2; ++c) {
        const Bitboard men = c == 0 ? pos.white : pos.black;
        for (int k = 1; k <= 5; ++k)
            counts[c][k] = popcount(men & kind_bb(pos, k));
    }
    return material_key(counts, mirror);
}

int tb_men(const TbPosition& pos) { return popcount(pos.white | pos.black); }

int probe_wdl(const TbPosition& pos, int& success) {
    success = 0;
    if (!probe_ok(pos))
        return 0;
    return probe_wdl_with_ep(pos, success);
}

int probe_dtz(const TbPosition& pos, int& success) {
    success = 0;
    if (!probe_ok(pos))
        return 0;
    return dtz_probe(pos, success, 0);
}

} // namespace zelk::tb
