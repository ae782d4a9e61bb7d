// Iterative deepening with aspiration windows and the root move loop.
#pragma once

#include "core/types.h"

namespace zelk {

struct SearchThread;

// One thread's whole search; thread 0 publishes the result and ends the search.
void search_thread_run(int thread_number);

int root_search(SearchThread& t, int side, int depth, int alpha, int beta, int pv_index);

// A helper thread's root-move order for its next iteration: every root move's
// score is lowered by its own draw of 0 to 15 from the root-noise generator,
// so that each helper searches the moves in a different order.
void jitter_root_order(SearchThread& t);

// Copies the main thread's result into the shared record and prints the PV line.
void publish_result(SearchThread& t);

} // namespace zelk
