// The alpha-beta search below the root: the node entry with its pruning
// rules, the move loop, the quiescence search and the draw test.
#pragma once

#include "core/types.h"

namespace zelk {

struct SearchThread;

// Pruning parameters derived from the options at every search start. The
// depth limits apply to reverse futility (SEP), futility of quiet moves (FP),
// late-move pruning (LMP), null move (from NMP_depth on) and reductions (from
// LMR_depth on).
struct SearchParams {
    int FP_depth, SEP_depth, NMP_depth, LMP_depth, LMR_depth;
    int FP_margin[12], SEP_margin[12], LMP_count[12];
    bool prune;               // Selectivity 0 turns every pruning rule off
    int razor_margin;         // per ply of depth
    int nmp_base, nmp_divisor, nmp_eval_div;   // null-move reduction: base + depth / divisor + (eval - beta) / eval_div
    int lmr_history;          // history per ply of reduction
    int fp_base;              // futility margin at depth 0
    int see_quiet, see_capture;   // exchange-pruning margins: per squared depth, per depth
    int hp_margin;            // history pruning below -margin * depth
    int lmr[32][32];          // [depth][moves searched]: plies of reduction
    int lmr_built_for = -1;   // Selectivity the LMR table was built for, -1 before the first
};
extern SearchParams params;

// History bonus by depth, built at every search start from Hist_bonus and
// Hist_max.
extern int history_bonus[70];

void set_search_params();
void build_history_bonus();

// Node entry: side to move, distance from the root (children of the root are
// ply 2), remaining depth, window, null_window for non-PV nodes, and the
// caller's principal variation.
int search(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int null_window, Move* pv);
int qsearch(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int null_window, Move* pv);

// 1 when the fifty-move rule or a repetition makes the position a draw.
int is_draw(SearchThread& t, int ply);
// 1 when the side to move has no legal move.
int no_legal_moves(SearchThread& t);

// pv[ply] = move, then the child's line behind it.
void update_pv(Move* pv, int ply, Move move, const Move* child);

} // namespace zelk
