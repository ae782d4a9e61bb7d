// Win, draw and loss chances from a search score and the material on the
// board, for interfaces that show them beside the score ("UCI_ShowWDL").
// The model was fitted to the results of the engine's own games
// (trainer/wdl_fit.py; its fit on held-out games is in docs/wdl.md).
#pragma once

#include "core/position.h"

namespace zelk {

struct WdlChances {
    int win, draw, loss;   // per mille, summing to 1000
};

// Material as the model counts it: pawns 1, knights and bishops 3, rooks
// 5, queens 10, both sides together (80 at the start).
int wdl_material(const Position& pos);

// The side to move's chances at `score` centipawns; mate and tablebase
// scores are sure wins or losses.
WdlChances wdl_from_score(int score, int material);

} // namespace zelk
