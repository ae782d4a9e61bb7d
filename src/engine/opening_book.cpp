#include "engine/opening_book.h"

#include <cstdio>

#include "book/book.h"
#include "core/makemove.h"
#include "core/notation.h"
#include "engine/options.h"
#include "io/output.h"
#include "search/control.h"
#include "search/search.h"
#include "search/thread.h"

namespace zelk {

namespace {

BookStyle book_style() {
    return BookStyle{options.OwnBook_Variety, control.protocol_mode == 1, control.noise >= 9999};
}

// The game position after m is drawn (m is made and taken back).
bool draws(Move m) {
    make_move(game->pos, m);
    // A position one move from the root: only a threefold repetition counts.
    const bool drawn = is_draw(*game, 2);
    unmake_move(game->pos);
    return drawn;
}

} // namespace

Move game_book_move() {
    const int ply = game->history_count;
    Move m = NO_MOVE;
    if (ply < options.OwnBook_Depth)
        m = book_probe(game->pos, options.OwnBook_File, book_style());
    if (!m && ply < options.OwnBook2_Depth)
        m = book_probe(game->pos, options.OwnBook2_File, book_style());
    if (!m || draws(m))
        return NO_MOVE;
    char text[MOVE_TEXT_SIZE], line[64];
    move_to_coord(game->pos, game->pos.side, m, text);
    const bool uci = control.protocol_mode == 1;
    std::snprintf(line, sizeof line, "%s book move is %s", uci ? "info string" : "", text);
    emit_line(line);
    // Match runners and interfaces read the score of a move from an info line.
    if (uci) {
        std::snprintf(line, sizeof line, "info depth 1 score cp 0 nodes 0 time 0 pv %s", text);
        emit_line(line);
    }
    return m;
}

void book_command() {
    book_probe(game->pos, options.OwnBook_File, book_style());
    emit_line("");
    book_probe(game->pos, options.OwnBook2_File, book_style());
    emit_line("");
}

} // namespace zelk
