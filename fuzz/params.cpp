// Evaluation weight files ("params.txt"): the file is read as start-up
// reads it, with the weight table rebuilt around it, and the hand-crafted
// evaluation then scores positions with those weights, with and without
// its breakdown. It scores them only while no weight is more than
// MAX_CHANGE from its built-in value: the evaluation adds its terms in
// packed 32-bit pairs whose halves hold 16 bits, and far larger weights
// overflow those sums (left as it is: which weights a file may hold is the
// evaluation's question, not the reader's).
#include <algorithm>
#include <cmath>
#include <string>

#include "common.h"
#include "core/position.h"
#include "engine/options.h"
#include "eval/evaluate.h"
#include "eval/weights.h"
#include "search/control.h"
#include "search/thread.h"

namespace zelk::fuzz {
namespace {

const char* const POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "r1bq1rk1/pp2nppp/2n1p3/3pP3/1b1P4/2NB1N2/PP3PPP/R1BQK2R w KQ -",
    "6k1/5ppp/8/3P4/2P5/8/5PPP/6K1 b - -",
    "8/8/4k3/8/2B5/8/3PK3/8 w - -",
};

constexpr int MAX_CHANGE = 400;

void discard(const char*) {}

EvalWeight built_in[EVAL_PARAMS_CAPACITY];

bool near_built_in() {
    for (int i = 0; i < eval_params.count; ++i) {
        const EvalWeight& w = eval_params.records[i];
        if (std::fabs(w.mg - built_in[i].mg) > MAX_CHANGE || std::fabs(w.eg - built_in[i].eg) > MAX_CHANGE)
            return false;
    }
    return true;
}

} // namespace
} // namespace zelk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zelk;
    using namespace zelk::fuzz;
    static const bool ready = [] {
        init_engine();
        game->trace_sink = discard;
        copy_text(eval_settings.param_file, "/nonexistent/params.txt");
        init_eval_params();
        std::copy(eval_params.records, eval_params.records + EVAL_PARAMS_CAPACITY, built_in);
        return true;
    }();
    (void)ready;
    const std::string path = write_file("input-params.txt", data, size);
    copy_text(eval_settings.param_file, path.c_str());
    eval_settings.Use_NN_eval = 0;
    init_eval_params();
    for (const char* fen : POSITIONS) {
        if (!near_built_in())
            break;
        pos_from_fen(game->pos, fen);
        // A fresh evaluation each time, not one cached under other weights.
        for (auto& e : game->eval_cache)
            e = {};
        for (auto& e : game->pawn_hash)
            e = {};
        hce_evaluate(*game, game->pos.side, 1, 0, 0);
        hce_evaluate(*game, game->pos.side ^ 1, 1, 0, 1);
        evaluate(*game, game->pos.side, 1, 0, 0);
    }
    reset_game();
    return 0;
}
