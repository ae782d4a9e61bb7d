#include "eval/network_eval.h"

#include <cmath>

namespace zelk {

namespace {

// Head by material: 0 for a one-head network, else 1 (the two phase heads
// blended), or a head of its own for equal material of one kind: pawns
// only (2), a minor piece each (3), a rook each (4), a queen each (5).
int choose_head(const Position& pos, int outputs) {
    int h = outputs == 1 ? 0 : 1;
    const int w = pos.npm[WHITE], b = pos.npm[BLACK];
    if (w <= 10 && w == b) {
        if (w == 0 && outputs > 2)
            h = 2;
        else if (w == 3 && outputs > 3)
            h = 3;
        else if (w == 5 && outputs > 4)
            h = 4;
        else if (w == 10 && ((pos.mat_sig[WHITE] | pos.mat_sig[BLACK]) & 0xfff0) == 0 && outputs > 5)
            h = 5;
    }
    return h;
}

} // namespace

int logit_to_centipawns(float v) {
    if (std::isnan(v))
        return 0;
    const float p = 1.0f / (1.0f + std::exp(-v));
    if (p < 0.00001f)
        return -1919;
    if (p > 0.99999f)
        return 1919;
    return int(std::log(1.0f / p - 1.0f) * -166.66667f);
}

namespace {

// No pawns, rooks or queens and at most a minor piece a side: hard to win.
int damp_bare_minors(const Position& pos, int score) {
    if (((pos.mat_sig[WHITE] | pos.mat_sig[BLACK]) & 0xff00f) == 0 && pos.npm[WHITE] <= 3 && pos.npm[BLACK] <= 3)
        return score / 4;
    return score;
}

} // namespace

int network_score(NnContext& ctx, const Position& pos, bool jitter) {
    const int npm = pos.npm[WHITE] + pos.npm[BLACK];
    float phase = float(npm) * 0.016f;
    if (phase > 1.0f)
        phase = 1.0f;
    // A second network, when loaded, is for pawn endings.
    ctx.net = networks.count > 1 && npm == 0 ? &networks.slot[1] : &networks.slot[0];
    ctx.head = int16_t(choose_head(pos, ctx.net->outputs));
    const float* out = nn_run(ctx, pos);
    float v = ctx.head == 1 ? phase * out[0] + (1.0f - phase) * out[1] : out[ctx.head];
    if (jitter)
        v += float(int((ctx.jitter_seed ^ uint32_t(pos.key)) & 255) - 127) * 0.0001f;
    return damp_bare_minors(pos, logit_to_centipawns(v));
}

int kb_network_score(KbContext& ctx, const Position& pos, bool jitter) {
    int score = kb_evaluate(ctx, pos);
    if (jitter)
        score += (int((ctx.jitter_seed ^ uint32_t(pos.key)) & 255) - 127) / 64;
    return damp_bare_minors(pos, score);
}

} // namespace zelk
