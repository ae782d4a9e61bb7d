#include "search/perft.h"

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "io/output.h"
#include "search/movepick.h"
#include "search/thread.h"

namespace zelk {

void perft(SearchThread& t, int side, int ply, int depth) {
    if (depth <= 0) {
        ++t.nodes;
        return;
    }
    Position& pos = t.pos;
    const int check_sq = checking_square(pos, pos.king_sq[side], side ^ 1, occupancy(pos));

    // The staged picker hands out captures (ordered by exchange value) and
    // then quiet moves; in check it leaves out moves that cannot help.
    PlyRecord& rec = t.plies[ply];
    rec.check_sq = uint8_t(check_sq);
    rec.in_check = check_sq != NO_SQUARE;
    rec.hash_move = NO_MOVE;
    picker_start(t, ply, PICK_CAPTURES | PICK_QUIETS);

    // Out of check, a move by a piece other than the king that is not the only
    // blocker between the king and an enemy slider, and is not an en-passant
    // capture, is legal without a test.
    const int k = pos.king_sq[side];
    Bitboard lines = ~Bitboard(0);
    if (check_sq == NO_SQUARE) {
        const Bitboard* e = pos.pieces + (side ^ 1) * 8;
        const Bitboard occ = occupancy(pos);
        Bitboard snipers = (tables.bishop_pseudo[k] & (e[BISHOP] | e[QUEEN])) | (tables.rook_pseudo[k] & (e[ROOK] | e[QUEEN]));
        lines = 0;
        while (snipers) {
            Bitboard blockers = tables.between[k][pop_lsb(snipers)] & occ;
            if (blockers && !(blockers & (blockers - 1)))
                lines |= blockers;
        }
    }
    auto legal = [&](const MoveEntry* e) {
        const Move m = e->move;
        if (!(lines & bit(move_from(m))) && type_of(e->piece) != KING &&
            !(type_of(e->piece) == PAWN && move_to(m) == pos.ep_square))
            return true;
        return is_legal(pos, side, m) != 0;
    };
    while (const MoveEntry* e = next_move(t)) {
        if (!legal(e))
            continue;
        if (depth == 1) {
            ++t.nodes;
            continue;
        }
        make_move(pos, e->move);
        perft(t, side ^ 1, ply + 1, depth - 1);
        unmake_move(pos);
    }
}

void show_board(const Position& pos) {
    std::string text = board_text(pos);
    text.pop_back();   // emit_line adds the line end
    emit_line(text.c_str());
}

} // namespace zelk
