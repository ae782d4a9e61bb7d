// The move readers: the first line is a FEN, each further line a move text
// for the position reached. parse_move reads it as the console and the EPD
// jobs do, on any position the FEN reader makes; pgn::decode_move as the PGN
// jobs do, on playable positions. A move either reader returns must be
// legal; it is played, as the console plays it, so the next line applies
// to the new position.
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

constexpr int MAX_MOVES_PLAYED = 200;   // well inside the history stack

bool is_legal_move(Position& pos, Move m) {
    MoveEntry list[MAX_MOVES];
    gen_all(pos, list);
    for (const MoveEntry* e = list; e->move != END_OF_LIST; ++e)
        if (e->move == m)
            return is_legal(pos, pos.side, m);
    return false;
}

} // namespace
} // namespace zelk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zelk;
    using namespace zelk::fuzz;
    init_engine();
    const std::string text = as_text(data, size);
    Position& pos = scratch_board().pos;
    size_t at = text.find('\n');
    pos_from_fen(pos, text.substr(0, at).c_str());
    int played = 0;
    while (at != std::string::npos && played < MAX_MOVES_PLAYED) {
        const size_t end = text.find('\n', at + 1);
        const std::string line = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        at = end;
        const bool playable = pgn::is_playable(pos);
        Move parsed = NO_MOVE;
        const int found = parse_move(pos, line.c_str(), parsed);
        if (found == 1 && playable && !is_legal_move(pos, parsed))
            fail("parse_move returned a move that is not legal", line);
        const Move decoded = playable ? pgn::decode_move(pos, line) : NO_MOVE;
        if (decoded && !is_legal_move(pos, decoded))
            fail("decode_move returned a move that is not legal", line);
        const Move m = decoded ? decoded : found == 1 ? parsed : NO_MOVE;
        if (m) {
            make_move(pos, m);
            ++played;
        }
    }
    return 0;
}
