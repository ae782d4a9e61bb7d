// Start-up state the evaluation tests share: the option fields the
// evaluation reads, the weights derived from them, the KPK table.
#pragma once

#include <cstdio>
#include <string>

#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/weights.h"
#include "helpers.h"

namespace zelk::test {

// Options as the front end writes them at start-up, contempt and the network
// off, and a parameter file name that does not exist.
inline void default_eval_options() {
    eval_settings = EvalSettings{};
    eval_settings.Use_NN_eval = 0;
    for (auto& pair : eval_settings.eval_scales)
        pair[0] = pair[1] = 100;
    std::snprintf(eval_settings.param_file, sizeof eval_settings.param_file, "%s", "no-such-params.txt");
}

// Default weights; the KPK table is built on the first call.
inline void init_eval_for_tests() {
    static bool kpk_built = false;
    default_eval_options();
    init_eval_params();
    if (!kpk_built) {
        build_kpk_table();
        kpk_built = true;
    }
}

// The evaluation of `fen` for `side` (the side to move by default).
inline int eval_fen(const char* fen, int side = -1, int ply = 1, int in_check = 0) {
    Board b(fen);
    return evaluate(*b.thread, side < 0 ? b.pos.side : side, ply, in_check, 0);
}

} // namespace zelk::test
