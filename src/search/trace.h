// The search trace of the console "trace" command: the tree's first plies
// written to "trace.txt".
#pragma once

#include "core/types.h"

namespace zelk {

struct Position;

// Called by make-move and the null move while the trace level is nonzero.
void trace_move(const Position& pos, Move m);

} // namespace zelk
