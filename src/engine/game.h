// Moves made on the game record. The game's moves stay on its history
// stack, but its move lists always start at ply 1: searches begin from a
// copy with their own ply count.
#pragma once

#include "core/types.h"

namespace zelk {

// Makes a move on the game. A game may be of any length: when the history
// stack fills, its older plies are dropped (game_make_room).
void game_make_move(Move m);
void game_unmake_move();

// Ensures `plies` more moves fit on the game's history stack, leaving the
// search the rest. When they would not, only the plies back to the last
// irreversible move (capture, pawn move, castling) are kept, all the
// repetition test looks at; moves before them can no longer be taken back.
void game_make_room(int plies);

// 1 when m is one of the game position's legal moves.
int game_move_is_legal(Move m);

} // namespace zelk
