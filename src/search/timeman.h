// Time management: the search clock, the per-search set-up with the target
// time, and the time check that ends a search.
#pragma once

#include <atomic>

namespace zelk {

// Written by search_start (main thread) before the threads start; `elapsed`
// is refreshed by whoever runs the time check.
struct TimeState {
    double start;                    // monotonic seconds at clock_reset
    std::atomic<float> elapsed;      // seconds since clock_reset, + 0.0001
    float target_time;
    float move_overhead;
    int root_side;                   // colour to move at the root
    bool limit_nps;                  // slow the search to target_nps
    int ponder;                      // copies of the options for this search
    int multipv;
};
extern TimeState timing;

void clock_reset();
void clock_update();
double monotonic_seconds();

// Sleeps about `ms` milliseconds (search threads waiting for their turn).
void wait_ms(int ms);

// Resets the shared search state and computes the target time of this move.
void search_start();

// Raises the stop flag when the search should end.
void check_time();

} // namespace zelk
