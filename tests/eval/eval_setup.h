// Start-up state the evaluation tests share: the option fields the
// evaluation reads, the weights derived from them, the KPK table.
#pragma once

#include <cstdio>
#include <string>

#include "engine/options.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/weights.h"
#include "search/timeman.h"

namespace zelk::test {

// Options as the front end writes them at start-up, contempt off, and a
// parameter file name that does not exist.
inline void default_eval_options() {
    options.Contempt = 0;
    options.contempt_base = 0;
    options.eval_jitter = 0;
    for (auto& pair : options.eval_scales)
        pair[0] = pair[1] = 100;
    std::snprintf(options.param_file, sizeof options.param_file, "%s", "no-such-params.txt");
    Use_NN_eval = 0;
    timing.root_side = 0;
    timing.target_time = 0;
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

} // namespace zelk::test
