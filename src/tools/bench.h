// The benchmark: fixed positions through the normal search, timed.
#pragma once

namespace zelk {

// "-bench" (direct = false): the 20 positions on the search threads.
// "-pbench" (direct = true): the first 10 at depth 17, searched on the
// calling thread. Prints a line per position and the totals, then sets
// quit_flag.
void run_benchmark(bool direct);

} // namespace zelk
