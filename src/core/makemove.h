// Making and unmaking moves on a position, and the legality test that
// decides without making the move whether the mover's king stays safe.
#pragma once

#include "core/position.h"
#include "core/types.h"

namespace zelk {

// Applies a pseudo-legal move and pushes its UndoRecord on the owner's
// history stack. The caller keeps the stack below HISTORY_CAPACITY.
void make_move(Position& pos, Move m);

// Undoes the move of the top UndoRecord.
void unmake_move(Position& pos);

// 1 when the pseudo-legal move m of `side` (the side to move) leaves its
// king unattacked; 0 for the move 0.
int is_legal(const Position& pos, int side, Move m);

// The search's null move: passes the turn, keeping the history stack in step.
void make_null_move(Position& pos);
void unmake_null_move(Position& pos);

} // namespace zelk
