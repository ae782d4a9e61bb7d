// The per-thread search record: the thread's own position with its history
// stack, the per-ply records and the move stack the generators write into.
#pragma once

#include "core/position.h"
#include "core/types.h"
#include "eval/eval_records.h"

namespace zelk {

// Per-ply state of the move loop and the move picker.
struct PlyRecord {
    uint8_t check_sq;      // square of a checking piece, 64 when not in check
    uint8_t in_check;
    Move hash_move;
    uint16_t stage;        // move-picker state
    MoveEntry* list;       // start of this ply's move list in the move stack
    MoveEntry* current;    // next entry the picker looks at
    int16_t threat[2];     // danger values of the evaluated position, by colour
};

// Every ply's list lives at once in the move stack; a position has at most
// 218 legal moves and fewer than 256 pseudo-legal ones.
constexpr int MOVE_STACK_SIZE = (MAX_PLY + 2) * 256;

struct SearchThread {
    UndoRecord history[HISTORY_CAPACITY];
    PlyRecord plies[MAX_PLY + 2];      // two spare records: gen_all prepares ply + 2
    MoveEntry move_stack[MOVE_STACK_SIZE];
    Position pos;
    int16_t history_count;             // plies made since set-up (game and search)
    int16_t search_ply;                // 1 at the root
    Move last_move;
    uint8_t thread_number;
    uint64_t nodes;

    // Evaluation: caches, working context and counters (never reset).
    EvalCacheEntry eval_cache[EVAL_CACHE_SIZE];
    PawnHashEntry pawn_hash[PAWN_HASH_SIZE];
    EvalContext eval_context;
    uint64_t eval_count, eval_hits;
    uint64_t pawn_probes, pawn_hits;
};

// Points the record's position at the record and empties its move stack.
void thread_record_init(SearchThread& t);

} // namespace zelk
