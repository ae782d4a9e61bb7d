// The shared result of the running or last search: written by the search
// master (or the main loop for book and fifty-move answers), read by the
// main loop when it reports "bestmove".
#pragma once

#include "core/types.h"

namespace zelk {

struct SearchResult {
    Move best_move;
    Move ponder_move;
    Move book_move;
    int score;
    int depth;
};
extern SearchResult result;

} // namespace zelk
