// "position [startpos | fen F] [moves m1 m2 ...]".
#include <cstring>

#include "core/makemove.h"
#include "core/movegen.h"
#include "core/position.h"
#include "search/control.h"
#include "engine/game.h"
#include "engine/interpreter.h"
#include "io/output.h"
#include "search/thread.h"

namespace zelk {

namespace {

// The coordinate move m1 of the game position, read as an interface sends
// it: king to its destination or king takes own rook for castling, a fifth
// letter for the promotion piece. 0 when the text is not a legal move.
Move read_coordinate_move(Position& pos, const char* text) {
    if (std::strlen(text) < 4)
        return NO_MOVE;
    for (int i = 0; i < 4; ++i) {
        const char c = text[i];
        const bool ok = (i % 2 == 0) ? (c >= 'a' && c <= 'h') : (c >= '1' && c <= '8');
        if (!ok)
            return NO_MOVE;
    }
    const int from = (text[0] - 'a') + 8 * (text[1] - '1');
    const int to = (text[2] - 'a') + 8 * (text[3] - '1');
    const int us = pos.side;
    const int piece = pos.board[from];
    uint16_t flags = 0;
    const int back_rank = us == WHITE ? 0 : 7;
    if (piece == piece_code(us, KING) && rank_of(from) == back_rank && rank_of(to) == back_rank) {
        const int distance = file_of(to) > file_of(from) ? file_of(to) - file_of(from) : file_of(from) - file_of(to);
        if (distance >= 2 || pos.board[to] == piece_code(us, ROOK))
            flags = file_of(to) > file_of(from) ? FLAG_SHORT : FLAG_LONG;
    }
    if (type_of(piece) == PAWN && (rank_of(to) == 0 || rank_of(to) == 7)) {
        switch (text[4] | 0x20) {   // either case: "e7e8q" or "e7e8Q"
        case 'n': flags = FLAG_KNIGHT; break;
        case 'b': flags = FLAG_BISHOP; break;
        case 'r': flags = FLAG_ROOK; break;
        default: flags = FLAG_QUEEN; break;
        }
    }
    // Accept it only as one of the position's legal moves, so that a bad
    // text can never corrupt the game.
    MoveEntry list[MAX_MOVES];
    gen_all(pos, list);
    for (const MoveEntry* e = list; e->move != END_OF_LIST; ++e) {
        const Move m = e->move;
        const bool same = (m & FLAG_MASK) == flags && move_from(m) == from &&
                          (move_to(m) == to || (flags && type_of(piece) == KING));
        if (same && is_legal(pos, us, m))
            return m;
    }
    return NO_MOVE;
}

// The FEN's halfmove clock, which the fifty-move rule, the table's score
// fading and the tablebase root read. No clock means 0; a clock that is not
// a number from 0 to 100 is read as 0 and said so (above 100 the game would
// already be drawn).
void set_fen_clock(Position& pos, const char* fen) {
    const int clock = fen_halfmove_clock(fen);
    if (clock == FEN_CLOCK_ABSENT)
        return;
    if (clock >= 0 && clock <= 100) {
        pos.halfmove = uint8_t(clock);
        return;
    }
    emit_line("info string halfmove clock not a number from 0 to 100: read as 0");
}

} // namespace

void set_position_command(const std::string& command) {
    std::string line = command;
    const size_t moves_at = line.find("moves");
    std::string moves;
    if (moves_at != std::string::npos) {
        if (moves_at + 6 < line.size())
            moves = line.substr(moves_at + 6);
        line.resize(moves_at > 0 ? moves_at - 1 : 0);
    }
    Position& pos = game->pos;
    const size_t fen_at = line.find("fen");
    if (line.find("startpos") != std::string::npos) {
        pos_from_fen(pos, START_FEN);
    } else if (fen_at != std::string::npos) {
        // The FEN starts at the first word after "fen", however many blanks
        // come between.
        const size_t start = line.find_first_not_of(' ', fen_at + 3);
        if (start == std::string::npos) {
            emit_line("info string position fen without a FEN: the position is unchanged");
            return;
        }
        pos_from_fen(pos, line.c_str() + start);
        set_fen_clock(pos, line.c_str() + start);
    } else {
        return;
    }
    size_t i = 0;
    while (i < moves.size()) {
        while (i < moves.size() && moves[i] == ' ')
            ++i;
        const size_t end = moves.find(' ', i);
        const std::string token = moves.substr(i, end == std::string::npos ? std::string::npos : end - i);
        i = end == std::string::npos ? moves.size() : end;
        if (token.empty())
            continue;
        const Move m = read_coordinate_move(pos, token.c_str());
        if (!m)
            break;
        game_make_move(m);
    }
    game->history[game->history_count] = UndoRecord{};
}

} // namespace zelk
