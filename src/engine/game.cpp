#include "engine/game.h"

#include "core/makemove.h"
#include "core/movegen.h"
#include "search/control.h"
#include "search/thread.h"

namespace zelk {

int game_ply_limit() { return HISTORY_CAPACITY - MAX_PLY - 4; }

void game_make_move(Move m) {
    make_move(game->pos, m);
    game->search_ply = 1;
}

void game_unmake_move() {
    unmake_move(game->pos);
    game->search_ply = 1;
}

int game_move_is_legal(Move m) {
    gen_ply_moves(*game);
    for (const MoveEntry* e = game->plies[game->search_ply].list; e->move != END_OF_LIST; ++e)
        if (e->move == m)
            return is_legal(game->pos, game->pos.side, m);
    return 0;
}

} // namespace zelk
