// The search trace of the console "trace" command: the tree's first plies
// written to "trace.txt".
#pragma once

#include "core/types.h"

namespace zelk {

struct Position;

// Sets the trace level (0 = off): nonzero installs the trace as the
// make-move hook, so every move of the first `level` plies is written.
void set_trace_level(int level);

} // namespace zelk
