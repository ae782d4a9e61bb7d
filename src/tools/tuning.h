// The jobs of the tuning build ("make ttune", binary zelk-tune): self-play
// training data, and the tuners of the open piece-square values. The
// normal build links a stand-in that only says so.
#pragma once

#include <cstdint>

#include "core/position.h"
#include "core/types.h"

namespace zelk {

enum class TuningKind : uint8_t { TRAIN_DATA, TUNE, TUNE2 };

struct TuningJob {
    TuningKind kind;
    const char* file;       // start positions ("startpos" for random plies) or training data
    int64_t count;          // positions to write, or tuning passes
    int64_t number;         // "-tune", "-tune2": the search score's share of the target, in percent
    int digit;              // "-tune", "-tune2": table group, -1 when not given
    const char* output;     // "-o", empty for the default
    uint32_t seed;          // "-seed"
    const char* tb_path;    // SyzygyPath, for adjudication
};

// False in the normal build: start-up then refuses the tuning switches.
extern const bool tuning_built;

void run_tuning_job(const TuningJob& job);

// "-mktraindata": self-play games on every search thread's worth of
// worker processes, their quiet positions written with score and result.
void make_training_data(const TuningJob& job);

// A searched position that goes into the training data: the side to move
// not in check, the best move neither a capture nor a promotion, and no
// mate score (which says nothing about the evaluation).
bool is_training_sample(const Position& pos, Move best, int score);

// "-tune", "-tune2": the open piece-square values fitted to training data,
// written to "params.txt" (or "-o").
void tune_tables(const TuningJob& job);

} // namespace zelk
