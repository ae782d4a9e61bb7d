// Conversion of engine positions, the depth rules of the in-search probe,
// and the root probe that picks a move and lists the moves keeping the result.
#include "tablebase/tbsearch.h"

#include "core/attacks.h"
#include "tablebase/tbcore.h"

namespace zelk::tb {

namespace {

constexpr Bitboard BACK_RANKS = 0xFF000000000000FFull;

// Root probe preconditions on the bitboards: one king per side, kinds
// disjoint, no pawn on a back rank, kinds and colours covering the same men.
bool consistent(const TbPosition& p) {
    if (popcount(p.kings & p.white) != 1 || popcount(p.kings & p.black) != 1 || (p.white & p.black))
        return false;
    const Bitboard kinds[6] = {p.kings, p.queens, p.rooks, p.bishops, p.knights, p.pawns};
    Bitboard all = 0;
    for (Bitboard k : kinds) {
        if (all & k)
            return false;
        all |= k;
    }
    return !(p.pawns & BACK_RANKS) && all == (p.white | p.black);
}

// WDL of a root-move DTZ under the fifty-move clock h.
int wdl_of(int v, int h) {
    if (v > 0)
        return v + h <= 100 ? 2 : 1;
    if (v < 0)
        return h - v <= 100 ? -2 : -1;
    return 0;
}

} // namespace

TbPosition tb_position(const Position& pos, bool with_rule50) {
    TbPosition p;
    p.white = pos.pieces[0];
    p.black = pos.pieces[8];
    p.kings = pos.pieces[KING] | pos.pieces[8 + KING];
    p.queens = pos.pieces[QUEEN] | pos.pieces[8 + QUEEN];
    p.rooks = pos.pieces[ROOK] | pos.pieces[8 + ROOK];
    p.bishops = pos.pieces[BISHOP] | pos.pieces[8 + BISHOP];
    p.knights = pos.pieces[KNIGHT] | pos.pieces[8 + KNIGHT];
    p.pawns = pos.pieces[PAWN] | pos.pieces[8 + PAWN];
    p.turn = pos.side == WHITE;
    p.ep = pos.ep_square == NO_SQUARE ? 0 : pos.ep_square;
    p.rule50 = with_rule50 ? pos.halfmove : 0;
    return p;
}

Move tb_to_engine_move(TbMove m) {
    static constexpr uint16_t PROMOTION_FLAG[5] = {0, FLAG_QUEEN, FLAG_ROOK, FLAG_BISHOP, FLAG_KNIGHT};
    const int promo = tb_move_promotes(m);
    return make_move_code(tb_move_from(m), tb_move_to(m), promo <= 4 ? PROMOTION_FLAG[promo] : 0);
}

int tb_probe_wdl_search(const Position& pos, int depth, int min_depth, int depth6) {
    if (min_depth > depth)
        return -1;
    const int men = popcount(occupancy(pos));
    if (men > tb_largest())
        return -1;
    if ((men == 6 && depth6 > depth) || (men > 6 && 128 > depth))
        return -1;
    if (pos.castle_rights)
        return -1;
    int success;
    const int v = probe_wdl(tb_position(pos, false), success);
    return success ? v + 2 : -1;
}

int tb_probe_root(const Position& pos, TbRootResult& out) {
    out = TbRootResult{};
    const TbPosition root = tb_position(pos, true);
    if (tb_men(root) > tb_largest() || pos.castle_rights || !consistent(root) || !tb_is_valid(root))
        return -1;
    int success;
    const int dtz = probe_dtz(root, success);
    if (!success)
        return -1;

    TbMove list[TB_MAX_MOVES];
    TbMove* end = tb_gen_moves(root, list);
    int value[TB_MAX_MOVES];
    bool legal[TB_MAX_MOVES];
    int drawing = 0;
    const int h = root.rule50;
    for (int i = 0; list + i != end; ++i) {
        TbPosition child;
        legal[i] = tb_do_move(child, root, list[i]);
        if (!legal[i])
            continue;
        int v;
        if (dtz > 0 && tb_is_mate(child)) {
            v = 1;
        } else if (child.rule50 != 0) {
            v = -probe_dtz(child, success);
            v = v > 0 ? v + 1 : v < 0 ? v - 1 : 0;
        } else {
            v = WDL_TO_DTZ[-probe_wdl(child, success) + 2];
        }
        if (!success)
            return -1;
        value[i] = v;
        drawing += v == 0;
    }

    const int count = int(end - list);
    int chosen = -1;
    if (dtz > 0) {
        for (int i = 0; i < count; ++i)
            if (legal[i] && value[i] > 0 && (chosen < 0 || value[i] < value[chosen]))
                chosen = i;
    } else if (dtz < 0) {
        for (int i = 0; i < count; ++i)
            if (legal[i] && value[i] < 0 && (chosen < 0 || value[i] < value[chosen]))
                chosen = i;
    } else if (drawing > 0) {
        // Among equal draws, a choice fixed by the material.
        const int pick = int(tb_calc_key(root, !root.turn) % uint64_t(drawing));
        for (int i = 0, n = 0; i < count && chosen < 0; ++i)
            if (legal[i] && value[i] == 0 && n++ == pick)
                chosen = i;
    }
    if (chosen < 0)
        return -1;  // no move (failure), checkmate or stalemate

    const int root_wdl = wdl_of(dtz, h) + 2;
    out.wdl = root_wdl;
    out.dtz = dtz < 0 ? -dtz : dtz;
    out.move = tb_to_engine_move(list[chosen]);
    int kept = 0;
    for (int i = 0; i < count; ++i)
        if (legal[i] && wdl_of(value[i], h) + 2 >= root_wdl && kept < TB_ROOT_MOVES)
            out.keep[kept++] = tb_to_engine_move(list[i]);
    out.keep[kept] = NO_MOVE;
    return root_wdl;
}

int tb_resolve_root(const Position& pos, int min_depth, int depth6, TbRootResult& out) {
    const int r = tb_probe_root(pos, out);
    if (r >= 0)
        return r;
    out = TbRootResult{};
    out.wdl = tb_probe_wdl_search(pos, 70, min_depth, depth6);
    return out.wdl;
}

} // namespace zelk::tb
