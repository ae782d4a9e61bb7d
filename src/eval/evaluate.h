// The static evaluation of the search.
#pragma once

namespace zelk {

struct SearchThread;

// The score of the thread's position in centipawns for `side`.
int evaluate(SearchThread& t, int side, int ply, int in_check, int trace);

// Derives the evaluation weights from the options (run at start-up and when
// the options changed).
void eval_setup();

} // namespace zelk
