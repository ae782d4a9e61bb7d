// The process-wide state of the running or last search: the shared result
// written by the main search thread, the time fields, and the counter
// totals over all threads.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/types.h"

namespace zelk {

constexpr int SCORE_INFINITE = 10001;
constexpr int MAX_MULTIPV = 255;
constexpr int MAX_CHOICE_LINES = 8;   // lines the strength limit chooses among

// One finished MultiPV line of the main thread's current iteration.
struct MultiPvLine {
    int score;
    Move pv[MAX_PLY + 2];
};
constexpr int SCORE_MATE = 10000;

// Written by the main search thread (and by the main loop for answers that
// need no search); the main loop reads it after the finished bit is set.
// Fields the time check reads while the search runs are atomics.
struct SearchResult {
    Move book_move;
    Move pv[MAX_PLY + 2];                  // pv[1] best move, pv[2] ponder move
    std::atomic<int> best_score;
    std::atomic<int> completed_depth;
    std::atomic<int> change_depth;         // iteration at which the best move last changed
    std::atomic<int> depth_score[MAX_PLY]; // best score per completed depth
    Move depth_move[MAX_PLY];
    int last_finished_depth;
    float last_finished_time;
    uint64_t depth_nodes[MAX_PLY];         // summed over threads under depth_nodes_lock
    int root_tb_result;                    // -1 none
    int tb_score[2];
    int root_qsearch_score;
    std::atomic<int> only_one_move;
    std::atomic<int> iteration_depth;      // the main thread's, read by the other threads
    MultiPvLine lines[MAX_MULTIPV];        // printed together, best first, when the iteration ends
    MultiPvLine finished_lines[MAX_CHOICE_LINES];  // the last finished iteration's best lines, best first
    int finished_line_count;
};
extern SearchResult result;

inline Move best_move() { return result.pv[1]; }
inline Move ponder_move() { return result.pv[1] ? result.pv[2] : NO_MOVE; }

// Totals of the eight thread counters and the main thread's selective depth.
struct CounterTotals {
    uint64_t nodes, tb_hits, evals, eval_hits, tt_probes, tt_hits, pawn_probes, pawn_hits;
    int sel_depth;
};
extern CounterTotals totals;

} // namespace zelk
