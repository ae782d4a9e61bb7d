// Search information lines: the principal variation after each improvement
// and the progress lines of long searches.
#pragma once

#include "core/types.h"

namespace zelk {

// line 0 for a single PV, 1..MultiPV for MultiPV lines; pv from index 1.
void print_pv_line(int thread_number, int line, int depth, int score, const Move* pv);

// "info depth .. time .. nodes .." and "info currmove .. currmovenumber ..".
void print_progress_line();
void print_currmove_line(Move m, int number);

// The fourth root of the node growth over the last four completed
// iterations; 2.0 before depth 6 or without counts.
double effective_branching();

// Sums the thread counters into `totals` (frozen once the search has finished).
void sum_counters();

} // namespace zelk
