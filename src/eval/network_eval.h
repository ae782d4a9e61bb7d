// The network's part of the evaluation: which network and output head a
// position gets, the run, the jitter, and the conversion of the network's
// logit into centipawns with the damping of bare minor-piece endings.
#pragma once

#include "core/position.h"
#include "nn/inference.h"
#include "nn/kbnet.h"

namespace zelk {

// Score of pos from the side to move's point of view. The context must be
// ready (nn_context_ready) and at least one network loaded; ctx.ply is the
// caller's. jitter adds the context's small per-thread offset.
int network_score(NnContext& ctx, const Position& pos, bool jitter);
// The same with the king-bucket network loaded (kb_context_ready(ctx)).
int kb_network_score(KbContext& ctx, const Position& pos, bool jitter);

// Centipawns for a logit: -166.67 * ln(1/p - 1) with p = sigmoid(v),
// truncated, and +-1919 beyond p = 0.99999 and below 0.00001.
int logit_to_centipawns(float v);

} // namespace zelk
