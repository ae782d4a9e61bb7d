// The evaluation entry the search calls, and the console display of it.
#pragma once

#include <cstdint>

namespace zelk {

struct SearchThread;

// Score of the thread's position for `side` (normally the side to move),
// with contempt and the fifty-move damping applied. When in_check is set the
// value is a placeholder. trace > 0 prints the hand-crafted breakdown.
int evaluate(SearchThread& t, int side, int ply, int in_check, int trace);

// Console "ev": the last move, then the breakdown for the side to move.
void show_eval(SearchThread& t);

} // namespace zelk
