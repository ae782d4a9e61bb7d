// The evaluation entry the search calls, the console display of it, and the
// settings the evaluation reads, handed to it by the front end and the search.
#pragma once

#include <cstdint>

#include "core/board.h"
#include "eval/eval_records.h"

namespace zelk {

struct EvalSettings {
    uint8_t Use_NN_eval = 1;           // evaluate with the network
    int16_t Contempt = 0;
    int16_t contempt_base = 0;
    int16_t eval_jitter = 0;
    char param_file[150] = {};         // weights file, "params.txt"
    int16_t eval_scales[13][2] = {};   // percentage pairs applied to weight groups
    // Of the current search, set when it starts.
    uint8_t root_side = 0;
    int16_t game_plies = 0;            // half-moves of the game before the root; jitter needs 2
    float target_time = 0;             // seconds; 90000 and more turns contempt off
};
extern EvalSettings eval_settings;

// Score of `pos` for `side` (normally the side to move), with contempt and
// the fifty-move damping applied. When in_check is set the value is a
// placeholder. The danger values go to threat[]; trace > 0 sends the
// hand-crafted breakdown to the state's trace sink.
int evaluate(EvalState& es, const Position& pos, int side, int ply, int in_check, int trace, int16_t threat[2]);

// Use_NN_eval is on and a network is loaded.
bool network_active();

// Console "ev": the last move of the board's game, then the network's score
// or the hand-crafted breakdown for the side to move.
void show_eval(EvalState& es, const BoardState& board);

} // namespace zelk
