// Moves made on the game record. The game's moves stay on its history
// stack, but its move lists always start at ply 1: searches begin from a
// copy with their own ply count.
#pragma once

#include "core/types.h"

namespace zelk {

void game_make_move(Move m);
void game_unmake_move();

// 1 when m is one of the game position's legal moves.
int game_move_is_legal(Move m);

// Most plies a game may hold: the search needs the rest of the history stack.
int game_ply_limit();

} // namespace zelk
