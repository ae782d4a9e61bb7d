// Time management: the search clock, the per-search set-up with the target
// time, and the time check that ends a search.
#pragma once

#include <atomic>

#include "search/strength.h"

namespace zelk {

// Written by search_start (main thread) before the threads start; `elapsed`
// is refreshed by whoever runs the time check.
struct TimeState {
    double start;                    // monotonic seconds at clock_reset
    std::atomic<float> elapsed;      // seconds since clock_reset, + 0.0001
    float started;                   // `elapsed` when the search started ("go" may be older)
    float target_time;
    float max_time;                  // the clock stops the search here, whatever its depth
    float min_time;                  // no earlier stop by the clock, once depth 1 is done
    float move_overhead;
    int root_side;                   // colour to move at the root
    StrengthLimit strength;          // UCI_LimitStrength at UCI_Elo, for this search
    int ponder;                      // copies of the options for this search
    int multipv;                     // root lines shown
    int lines;                       // root lines searched: more when the strength limit chooses among them
};
extern TimeState timing;

// What the clock allows one move, from the limits of the "go" (seconds).
struct ClockLimits {
    float clock;                // the side to move's remaining time
    float increment;
    float time_per_move;
    float move_overhead;
    int time_control_moves;     // 0 whole game, 1 fixed per move, n moves per period
    int moves_to_go;            // "movestogo", for n-move periods in UCI mode
    int plies;                  // plies played in the game so far
    bool uci;                   // UCI mode: "movestogo" stands
    bool ponder;                // the Ponder option
    int elo;                    // the UCI_Elo option
};

struct TimeAllotment {
    int moves_to_go;            // moves counted to the next control
    float target_time;          // the planned time of this move
    float max_time;             // the most it may take: the clock minus the overhead
    float min_time;             // the 15 ms floor, lower when the clock cannot give it
};

// The target time of the design's formula, capped so that the planned time
// never exceeds the clock minus the overhead spread over the moves to come
// (plus most of the increment), and the hard limit the clock can give.
TimeAllotment allot_time(const ClockLimits& limits);

void clock_reset();
void clock_update();
double monotonic_seconds();

// Sleeps about `ms` milliseconds (search threads waiting for their turn).
void wait_ms(int ms);

// Resets the shared search state and computes the target time of this move.
// The clock runs from control.requested_at when it is set (and clears it).
void search_start();

// Raises the stop flag when the search should end.
void check_time();

} // namespace zelk
