// Iterative deepening with aspiration windows and the root move loop.
#pragma once

#include "core/types.h"

namespace zelk {

struct SearchThread;

// One thread's whole search; thread 0 publishes the result and ends the search.
void search_thread_run(int thread_number);

int root_search(SearchThread& t, int side, int depth, int alpha, int beta, int pv_index);

// Copies the main thread's result into the shared record and prints the PV line.
void publish_result(SearchThread& t);

} // namespace zelk
