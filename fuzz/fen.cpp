// FEN text: the reader must leave a consistent position whatever it is
// given. Its keys match the board, its FEN reads back to the same position,
// and on a playable position every legal move makes and unmakes cleanly and
// its coordinate and SAN texts read back as the same move.
#include <cstring>
#include <string>

#include "common.h"
#include "core/board.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "core/position.h"
#include "pgn/pgn.h"

namespace zelk::fuzz {
namespace {

std::string fen_of(const Position& pos) {
    char fen[FEN_BUFFER_SIZE];
    pos_to_fen(pos, fen, true);
    return fen;
}

bool same_position(const Position& a, const Position& b) {
    return std::memcmp(a.board, b.board, sizeof a.board) == 0 && a.side == b.side && a.ep_square == b.ep_square &&
           a.castle_rights == b.castle_rights && a.key == b.key && a.pawn_key == b.pawn_key;
}

void check_keys(const Position& pos, const std::string& text) {
    uint64_t key, pawn_key;
    pos_compute_keys(pos, key, pawn_key);
    if (key != pos.key || pawn_key != pos.pawn_key)
        fail("keys do not match the board", text);
}

void check_moves_in_style(Position& pos, const std::string& fen) {
    MoveEntry list[MAX_MOVES];
    gen_all(pos, list);
    for (const MoveEntry* e = list; e->move != END_OF_LIST; ++e) {
        const Move m = e->move;
        if (!is_pseudo_legal(pos, m))
            fail("a generated move is not pseudo-legal", fen);
        if (!is_legal(pos, pos.side, m))
            continue;
        char forms[4][MOVE_TEXT_SIZE];
        move_to_texts(pos, m, forms[0], forms[1], forms[2], forms[3]);
        // A text several moves are written as (the king's step b1c1 and
        // castling to c1 with the king on b1) is refused as ambiguous, as
        // parse_move says; any other must read back as its move.
        for (int f = 0; f < 2; ++f) {
            Move read = NO_MOVE;
            const int found = parse_move(pos, forms[f], read);
            if (found == 1 ? read != m : read == NO_MOVE)
                fail("a written move does not read back", fen + " : " + forms[f]);
        }
        if (pgn::decode_move(pos, forms[1]) != m)
            fail("a SAN move does not decode back", fen + " : " + forms[1]);
        const Position before = pos;
        make_move(pos, m);
        check_keys(pos, fen + " after " + forms[0]);
        unmake_move(pos);
        if (!same_position(before, pos))
            fail("unmake does not restore the position", fen + " : " + forms[0]);
    }
}

// Every legal move, in both coordinate styles.
void check_moves(Position& pos, const std::string& fen) {
    for (const bool chess960 : {true, false}) {
        notation_style.chess960 = chess960;
        check_moves_in_style(pos, fen);
    }
    notation_style.chess960 = false;
}

} // namespace
} // namespace zelk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zelk;
    using namespace zelk::fuzz;
    init_engine();
    const std::string text = as_text(data, size);
    Position& pos = scratch_board().pos;
    pos_from_fen(pos, text.c_str());
    fen_halfmove_clock(text);
    check_keys(pos, text);
    const std::string fen = fen_of(pos);
    const Position first = pos;
    pos_from_fen(pos, fen.c_str());
    if (!same_position(first, pos) || fen_of(pos) != fen)
        fail("the written FEN reads back differently", text + " -> " + fen);
    if (pgn::is_playable(pos))
        check_moves(pos, fen);
    return 0;
}
