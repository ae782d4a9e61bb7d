// The tuner of the open piece-square values ("-tune", "-tune2"): training
// positions with the table entries each one reads, the evaluation as a
// function of those entries, the two fits and the parameter file they write.
//
// Every table value enters the hand-crafted total as a plain sum, so for a
// position the evaluation (White's view) with changed tables is
//   d = d0 + sum of n_i * (change of entry i)      (a ScorePair)
//   s = blend of d by the end-game weight w;  E = sf(sign of s) * s
// where n_i counts White's uses of entry i minus Black's. The model keeps
// d0, w and the three possible scale factors and so reproduces the
// engine's integer arithmetic.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/position.h"
#include "eval/score.h"
#include "eval/weights.h"
#include "tools/tuning.h"

namespace zelk::pst_tuner {

constexpr int TABLE_ENTRIES = PST_COUNT * 64;   // entry = table * 64 + record
constexpr int VALUE_LIMIT = 250;                // fitted values are clamped to +-this
constexpr int GROUP_COUNT = 5;                  // 0 all, 1 pawns, 2 minors, 3 majors, 4 king

// Values of the thirteen tables, [entry][0 middle game, 1 end game].
using TableValues = std::array<std::array<int16_t, 2>, TABLE_ENTRIES>;

TableValues current_tables();
// Writes the values into the weight records the evaluation reads.
void apply_tables(const TableValues& values);
void apply_entry(int entry, int mg, int eg);

// The entries the design gives (rank 1 and 8 of the pawn tables, ...): never changed.
bool entry_is_held(int table, int record);
// Whether the table belongs to the group chosen by the job's digit.
bool table_in_group(int table, int group);

struct EntryUse {
    uint16_t entry;
    int16_t count;    // White's uses minus Black's; never 0
};

// The entries the hand-crafted evaluation of `pos` reads, one per entry,
// sorted by entry.
void collect_uses(const Position& pos, std::vector<EntryUse>& out);

struct Sample {
    uint32_t first_use;      // into TuneData::uses
    uint16_t use_count;
    int8_t sign;             // +1 White to move, -1 Black
    int32_t d0_mg, d0_eg;    // White's total minus Black's with the starting tables
    float eg_weight;
    float sf[3];             // scale factor when s < 0, s = 0, s > 0
    float result;            // game result for the side to move, -1 when absent
    int32_t score;           // search score for the side to move
    int32_t eval;            // the engine's evaluation for White when loaded
    float target;            // set once K is known
    uint8_t held_out;        // kept out of the fit to check it
};

struct TuneData {
    std::vector<Sample> samples;
    std::vector<EntryUse> uses;
    std::vector<Position> boards;   // kept for the full evaluation ("-tune2")
    TableValues start{};
    int lines = 0;                  // lines read
    int skipped = 0;                // unusable lines: bad, in check, special endings, no label
    int with_result = 0;
    int held_out = 0;
};

// Reads "<EPD> ce N; gr R;" lines ("sc", when present, is the score used).
// A line needs a result unless `score_share` is 1 and a score unless it is 0.
// Returns false when the file cannot be opened.
bool load_samples(const char* file, double score_share, bool keep_boards, TuneData& data);

// The evaluation of a sample for White under `values`, as the engine computes it.
int model_eval(const TuneData& data, const Sample& s, const TableValues& values);
// The engine's own hand-crafted evaluation for White, with the tables as they are now.
int engine_eval(const Position& pos);

double sigmoid(double x);
// K of 1 / (1 + e^(-E/K)) that best predicts the results of the samples
// that carry one, E the current evaluation; 1/0.006 when none does.
double fit_k(const TuneData& data, const std::vector<int>& evals);
// Target of every sample: share * sigmoid(score/K) + (1 - share) * result.
void set_targets(TuneData& data, double k, double score_share);
// Puts every tenth block of consecutive samples (500, fewer in files of
// under 25000) aside, in files of 2000 samples or more: the positions of
// one game mostly stay together on one side.
void hold_out_blocks(TuneData& data);
// Mean squared error of the win probabilities for evals (White's view)
// over the samples fitted (held_out false) or those held out.
double mean_error(const TuneData& data, const std::vector<int>& evals, double k, bool held_out = false);

// Writes every registered weight as "name, mg, eg" in table order.
bool write_params_file(const char* name);

struct TuneReport {
    int positions = 0;
    int skipped = 0;
    int fitted = 0;              // entry halves that were free to move
    double k = 0;
    double error_before = 0;
    double error_model = 0;      // the linear model's promise ("-tune")
    double error_after = 0;      // the engine's evaluation with the new tables
    double held_before = 0;      // the same on the held-out samples
    double held_after = 0;
    int held_out = 0;
    double seconds = 0;
    TableValues tables{};
};

// Runs "-tune" or "-tune2" and writes the parameter file. On bad input it
// writes nothing and returns false with the reason in `message`. The new
// tables stay applied.
bool run_tuner(const TuningJob& job, TuneReport& report, std::string& message);

} // namespace zelk::pst_tuner
