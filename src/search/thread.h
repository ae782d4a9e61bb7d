// The per-thread search record: the thread's own board (position and
// history stack) and evaluation state, the per-ply records, the move stack
// the generators write into, the move-ordering tables, the principal
// variation and the counters.
#pragma once

#include <algorithm>
#include <atomic>

#include "core/board.h"
#include "core/position.h"
#include "core/types.h"
#include "eval/eval_records.h"
#include "eval/evaluate.h"
#include "eval/hce.h"

namespace zelk {

// Per-ply state of the node entry, the move loop and the move picker.
struct PlyRecord {
    uint16_t node_type;     // the node's null_window argument
    int16_t depth;          // remaining depth after the extension
    int16_t static_eval;
    int16_t alpha, beta;    // window at entry
    uint16_t in_check;
    uint16_t move_flags;    // flags of the move being searched
    int16_t threat[2];      // per side, what the evaluation sees as threatened
    int16_t moves_searched;
    int32_t tb_result;      // -1 none, else the win/draw/loss code
    Move hash_move;
    Move killer1, killer2;
    Move evasion_killer;
    uint8_t check_sq;       // a checking piece, 64 when not in check
    uint16_t stage;         // move-picker state: wanted stages (high nibble), reached (low)
    MoveEntry* list;        // start of this ply's move list in the move stack
    MoveEntry* current;     // next entry the picker looks at
    Move given_hash_move;   // the hash move the picker has already offered
    MoveEntry hash_entry;   // the hash move as the picker hands it out
    Move excluded;          // the move a singular-extension search leaves out
    uint8_t improving;      // static evaluation above the one two plies earlier
    int16_t* cont;          // continuation history of the move made here: [piece][to]
};

// History values stay within +-HISTORY_MAX: each update moves a value toward
// the bound of its sign by a share of the distance left (saturating update).
constexpr int HISTORY_MAX = 16384;
using ContinuationTable = int16_t[16][64][16 * 64];

// Every ply's list lives at once in the move stack.
constexpr int MOVE_STACK_SIZE = (MAX_PLY + 2) * MAX_MOVES;
constexpr int PV_SIZE = MAX_PLY;

struct SearchThread : BoardState, EvalState {
    PlyRecord plies[MAX_PLY + 2];      // two spare records: gen_all prepares ply + 2
    MoveEntry move_stack[MOVE_STACK_SIZE];
    // Move-ordering tables learned over a game (cleared with the hash table).
    int16_t main_history[2][64 * 64];               // [side][from * 64 + to]
    int16_t capture_history[16][64][8];             // [piece][to][victim type]
    ContinuationTable cont_history;                 // [previous piece][previous to][piece * 64 + to]
    int16_t cont_sentinel[16 * 64];                 // read where no earlier move exists; never written
    Move counter1[16][64];
    Move pv[PV_SIZE + 2];              // index 1 = best root move, 0-terminated
    // Read by other threads (time check, depth skipping): relaxed atomics.
    std::atomic<int> best_score;
    std::atomic<int> iteration_depth;
    std::atomic<int> completed_depth;
    std::atomic<int> fail_state;       // 0 inside the window, 1 failed low, 2 failed high
    uint8_t sel_depth;
    int16_t nmp_min_ply;               // no null move below this ply (null-move verification)
    uint8_t thread_number;
    uint32_t seed;
    uint64_t node_limit;
    // The eight counters, counted in plain fields by the owner and copied
    // now and then into `published`, which other threads read.
    uint64_t nodes;
    uint64_t tb_hits;
    uint64_t tt_probes;
    uint64_t tt_hits;
    std::atomic<uint64_t> published[8];
};

// Points the record's position at the record, empties its move stack and
// sends its evaluation trace to the output.
void thread_record_init(SearchThread& t);

// All pseudo-legal moves of the thread's position into the current ply's
// list, terminated; prepares the list starts of the next two plies.
void gen_ply_moves(SearchThread& t);

// The evaluation of the thread's own position, its danger values going to
// the ply record.
inline int evaluate(SearchThread& t, int side, int ply, int in_check, int trace) {
    return evaluate(t, t.pos, side, ply, in_check, trace, t.plies[std::clamp(ply, 0, MAX_PLY + 1)].threat);
}
inline int hce_evaluate(SearchThread& t, int side, int ply, int in_check, int trace) {
    return hce_evaluate(t, t.pos, side, ply, in_check, trace, t.plies[std::clamp(ply, 0, MAX_PLY + 1)].threat);
}
inline void show_eval(SearchThread& t) { show_eval(t, t); }

// Forgets the learned move-ordering and correction tables (a new game).
void thread_tables_clear(SearchThread& t);

// The continuation history of the move made at `ply`; before the root, the
// sentinel's zeros.
inline int16_t* cont_of(SearchThread& t, int ply) { return ply >= 1 ? t.plies[ply].cont : t.cont_sentinel; }
inline int butterfly(Move m) { return move_from(m) * 64 + move_to(m); }

// Copies the owner's counters where other threads may read them.
void publish_counters(SearchThread& t);

} // namespace zelk
