// The move-path counter that checks generation, legality and make/unmake
// against known counts, and the text board of the console.
#pragma once

#include <string>

#include "core/position.h"

namespace zelk {

struct SearchThread;

// Adds to t.nodes the number of legal move sequences of length `depth` from
// t's position, taking moves from the search's move picker; `side` is the
// side to move, `ply` the thread's current search ply (1 at the top).
// Depth 0 counts the empty sequence (1).
void perft(SearchThread& t, int side, int ply, int depth);

// Emits board_text as one output line.
void show_board(const Position& pos);

} // namespace zelk
