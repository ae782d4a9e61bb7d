// The board state a thread owns: its position and the undo history behind
// it. Search threads, tools and tests each hold one, so moves can be made
// and taken back anywhere without a search around them.
#pragma once

#include "core/position.h"
#include "core/types.h"

namespace zelk {

struct BoardState {
    UndoRecord history[HISTORY_CAPACITY];
    int16_t history_count;             // plies made since set-up (game and search)
    int16_t search_ply;                // 1 at the root
    Move last_move;
    Position pos;
};

// Points the position at its history and empties it.
void board_init(BoardState& b);

// Called by make_move and make_null_move before they change the position,
// when set (the search trace installs itself here). Null by default.
using MoveHook = void (*)(const Position& pos, Move m);
extern MoveHook move_trace_hook;

} // namespace zelk
