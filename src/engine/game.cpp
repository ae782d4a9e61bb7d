#include "engine/game.h"

#include <algorithm>
#include <cstring>

#include "core/makemove.h"
#include "core/movegen.h"
#include "search/control.h"
#include "search/thread.h"

namespace zelk {

namespace {

// Most plies the game may hold: the search needs the rest of the stack.
constexpr int GAME_PLY_LIMIT = HISTORY_CAPACITY - MAX_PLY - 4;
// The repetition test looks back over at most this many plies (a longer
// fifty-move count is a draw without looking).
constexpr int REPETITION_REACH = 100;
static_assert(REPETITION_REACH + MAX_PLY < GAME_PLY_LIMIT);

} // namespace

void game_make_room(int plies) {
    const int count = game->history_count;
    if (count + plies <= GAME_PLY_LIMIT)
        return;
    int keep = std::min<int>({game->pos.halfmove, REPETITION_REACH, count});
    // An even number of plies dropped keeps the side to move on the same
    // parity of the game ply (move numbers shown by the console).
    if ((count - keep) & 1)
        ++keep;
    std::memmove(game->history, game->history + (count - keep), sizeof(UndoRecord) * size_t(keep));
    game->history_count = int16_t(keep);
    game->history[keep] = UndoRecord{};
}

void game_make_move(Move m) {
    game_make_room(1);
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
