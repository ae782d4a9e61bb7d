#include "eval/evaluate.h"

#include <cstdio>
#include <cstdlib>

#include "core/position.h"
#include "eval/endgames.h"
#include "eval/hce.h"
#include "eval/network_eval.h"

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

// The network sees positions whose material, pawns 1 and pieces 3-3-5-10,
// is within three units.
bool network_material(const Position& pos) {
    const int w = int(pos.mat_sig[WHITE] & 0xf) + pos.npm[WHITE];
    const int b = int(pos.mat_sig[BLACK] & 0xf) + pos.npm[BLACK];
    return w - b <= 3 && b - w <= 3;
}

// The network's path: the context, the in-check placeholder, the bare-king
// formulas, the evaluation cache, then the network itself. No danger values.
// False when the context cannot be made (no memory): the caller hand-evaluates.
bool network_path(EvalState& es, const Position& pos, int side, int ply, int in_check, int& score) {
    const bool kb = kb_networks.loaded;
    NnContext& ctx = es.nn;
    if (kb ? !kb_context_ready(es.kb) && !kb_init_thread(es.kb) : !nn_context_ready(ctx) && !nn_init_thread(ctx))
        return false;
    ctx.ply = int16_t(ply);
    ++es.evals;
    if (in_check) {
        score = -10001;
        return true;
    }
    // A board typed without a king has nothing to evaluate.
    if (pos.king_sq[WHITE] == NO_SQUARE || pos.king_sq[BLACK] == NO_SQUARE) {
        score = 0;
        return true;
    }
    if (bare_king_ending(pos, side, score))
        return true;
    EvalCacheEntry& cached = es.eval_cache[(uint32_t(pos.key) & 0x7ffe) + side];
    if (cached.key == pos.key && ply > 1) {
        ++es.eval_hits;
        score = cached.score;
        return true;
    }
    const bool jitter = eval_settings.eval_jitter && eval_settings.game_plies > 1;
    score = kb ? kb_network_score(es.kb, pos, jitter) : network_score(ctx, pos, jitter);
    if (side != pos.side)
        score = -score;
    cached.key = pos.key;
    cached.score = int16_t(score);
    cached.danger[WHITE] = cached.danger[BLACK] = 0;
    return true;
}

} // namespace

bool network_active() { return eval_settings.Use_NN_eval && (networks.count > 0 || kb_networks.loaded); }

int evaluate(EvalState& es, const Position& pos, int side, int ply, int in_check, int trace, int16_t threat[2]) {
    int score;
    if (network_active() && (kb_networks.loaded || network_material(pos)) && network_path(es, pos, side, ply, in_check, score))
        threat[WHITE] = threat[BLACK] = 0;
    else
        score = hce_evaluate(es, pos, side, ply, in_check, trace, threat);
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
    int score;
    if (network_active() && network_path(es, pos, pos.side, 1, 0, score)) {
        char line[32];
        std::snprintf(line, sizeof line, "NN eval= %d", score);
        es.trace_sink(line);
        es.trace_sink("");
        return;
    }
    int16_t threat[2];
    hce_evaluate(es, pos, pos.side, 1, 0, 1, threat);
}

} // namespace zelk
