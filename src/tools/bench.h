// The benchmark: fixed positions through the normal search, timed.
#pragma once

namespace zelk {

// "-bench" (direct = false): the 20 positions on the search threads.
// "-pbench" (direct = true): the first 10 at depth 17, searched on the
// calling thread. Prints a line per position and the totals, then sets
// quit_flag.
void run_benchmark(bool direct);

// "bench [depth]": the 20 positions at a fixed depth on one thread, each from
// a cleared table, so that the node count is the same on every machine and
// every run; the last line is "Bench: <nodes> nodes <nps> nps". The thread
// count and table size are the caller's (one thread, SIGNATURE_BENCH_HASH).
constexpr int SIGNATURE_BENCH_DEPTH = 12;
constexpr int SIGNATURE_BENCH_HASH = 16;
void run_signature_bench(int depth);

} // namespace zelk
