#include "core/perft.h"

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "engine/output.h"
#include "search/thread.h"

namespace zelk {

void perft(SearchThread& t, int side, int ply, int depth) {
    if (depth <= 0) {
        ++t.nodes;
        return;
    }
    Position& pos = t.pos;
    const int check_sq = checking_square(pos, pos.king_sq[side], side ^ 1, occupancy(pos));

    // In check, the generators leave out captures and quiet moves that cannot
    // remove or block the checker; the count is the same either way.
    PlyRecord& rec = t.plies[ply];
    MoveEntry* out = gen_captures(pos, side, rec.list, check_sq);
    out = gen_promotions(pos, side, 1, out);
    out = gen_seventh_pushes(pos, side, out);
    out = gen_quiets(pos, side, out, check_sq);
    out->move = END_OF_LIST;
    t.plies[ply + 1].list = out + 1;

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
    if (depth == 1) {
        for (MoveEntry* e = rec.list; e != out; ++e)
            t.nodes += uint64_t(legal(e));
        return;
    }
    for (MoveEntry* e = rec.list; e != out; ++e) {
        if (!legal(e))
            continue;
        make_move(pos, e->move);
        perft(t, side ^ 1, ply + 1, depth - 1);
        unmake_move(pos);
    }
}

std::string board_text(const Position& pos) {
    char fen[FEN_BUFFER_SIZE];
    pos_to_fen(pos, fen, true);
    std::string text = fen;
    text += '\n';
    for (int rank = 7; rank >= 0; --rank) {
        text += ' ';
        for (int file = 0; file < 8; ++file) {
            int code = pos.board[make_square(file, rank)];
            char c;
            if (!code)
                c = ((file ^ rank) & 1) ? '-' : '+';
            else
                c = code < 9 ? "-PNBRQK"[type_of(code)] : "-onbrqk"[type_of(code)];
            text += ' ';
            text += c;
        }
        text += '\n';
    }
    text += pos.side ? "black\n" : "white\n";
    return text;
}

void show_board(const Position& pos) {
    std::string text = board_text(pos);
    text.pop_back();   // emit_line adds the line end
    emit_line(text.c_str());
}

} // namespace zelk
