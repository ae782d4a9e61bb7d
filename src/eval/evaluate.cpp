#include "eval/evaluate.h"

#include <cstdio>
#include <cstdlib>

#include "core/position.h"
#include "eval/hce.h"

namespace zelk {

EvalSettings eval_settings;

namespace {

// Material-dependent contempt: full with every piece on the board, turning
// against the root side (by contempt_base) as the board empties.
int contempt(const Position& pos, int side) {
    if (eval_settings.target_time >= 90000)
        return 0;
    const int pawns = (pos.mat_sig[WHITE] & 0xf) + (pos.mat_sig[BLACK] & 0xf);
    int x = pos.npm[WHITE] + pos.npm[BLACK] - 6;
    x = (x > 0 ? x : 0) + 2 * (pawns < 12 ? pawns : 12);
    const int c = (x * eval_settings.Contempt) / 82 + ((x - 41) * eval_settings.contempt_base) / 41;
    return side == eval_settings.root_side ? c : -c;
}

} // namespace

int evaluate(EvalState& es, const Position& pos, int side, int ply, int in_check, int trace, int16_t threat[2]) {
    // The network path (Use_NN_eval, sides within three units of material)
    // comes with the network; until then every position is hand-evaluated.
    int score = hce_evaluate(es, pos, side, ply, in_check, trace, threat);
    score += contempt(pos, side);
    score -= (score * pos.halfmove) / 256;
    return score;
}

void show_eval(EvalState& es, const BoardState& t) {
    const Position& pos = t.pos;
    if (t.history_count > 0) {
        const Move m = t.history[t.history_count - 1].move;
        char from[4], to[4], line[64];
        square_name(move_from(m), from);
        square_name(move_to(m), to);
        std::snprintf(line, sizeof line, pos.side == BLACK ? "last move was %d. %s%s" : "last move was %d... %s%s",
                      (t.history_count + 1) / 2, from, to);
        es.trace_sink(line);
    }
    int16_t threat[2];
    hce_evaluate(es, pos, pos.side, 1, 0, 1, threat);
}

} // namespace zelk
