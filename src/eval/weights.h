// The table of named evaluation weights, EvalParams, and the handles the
// evaluation terms read. The table is rebuilt by init_eval_params: register
// every record in a fixed order, write the built-in values, let "params.txt"
// overwrite a prefix, then scale weight groups by the eval_scales options.
#pragma once

#include <cstdint>

#include "eval/score.h"

namespace zelk {

constexpr int EVAL_PARAMS_CAPACITY = 1150;
constexpr int EVAL_WEIGHT_COUNT = 951;
constexpr int WEIGHT_NAME_SIZE = 24;

struct EvalWeight {
    ScorePair value;          // what most terms add
    float mg;                 // float copies, read by the fractional terms
    float eg;
    uint32_t reserved[3];     // for tuning tools; zero
    char name[WEIGHT_NAME_SIZE];
};

struct EvalParams {
    EvalWeight records[EVAL_PARAMS_CAPACITY];
    int count;                // registered records
    int cursor;               // next record weight_set_next writes
};

// Written only by init_eval_params, while no search runs.
extern EvalParams eval_params;

// Piece-square tables in registration order.
enum PstId : uint8_t {
    PST_P1, PST_CP, PST_DP, PST_N1, PST_B1, PST_R1, PST_Q1, PST_K,
    PST_P2, PST_N2, PST_B2, PST_R2, PST_Q2, PST_COUNT
};

// One handle per weight record; filled by registration, they stay valid
// across re-initialisation because the table does not move.
struct EvalHandles {
    const EvalWeight *mtl_pawn, *mtl_knight, *mtl_bishop, *mtl_rook, *mtl_queen;
    const EvalWeight *bishop_pair, *pawn_isolated, *pawn_weak, *pawn_blocked, *pawn_doubled;
    const EvalWeight *ppawn_base[6], *ppawn_mobile[6], *ppawn_free[6];
    const EvalWeight *ppawn_fkdist[8], *ppawn_ekdist[8];
    const EvalWeight *ppawn_connected[6], *candidate_passer[6];
    const EvalWeight *knight_mobility, *knight_trapped, *knight_outpost, *knight_outpost_atk;
    const EvalWeight *bishop_mobility, *bishop_mob2, *bishop_trapped, *bishop_outpost, *bishop_outpost_atk;
    const EvalWeight *rook_mobility, *rook_mob2, *rook_trapped, *rook_openfile, *rook_7th;
    const EvalWeight *queen_mobility, *queen_trapped;
    const EvalWeight *pawn_shield, *enemy_checks, *king_danger1, *king_danger2, *king_trapped, *king_pawn_dist;
    const EvalWeight *hung_pawn, *attacked_pawn, *hung_minor, *attacked_minor, *hung_major;
    const EvalWeight *ppush_threat, *pinned_piece, *bishop_rampawns, *stm_bonus;
    const EvalWeight *ttune[32];
    const EvalWeight *pst[PST_COUNT][64];   // [table][square], a1 = 0
};
extern EvalHandles eval_weights;

// Default piece-square values, per table 64 (mg, eg) pairs laid out rank 8
// first, as a person reads a board.
using PstTable = int16_t[64][2];
extern const PstTable PST_DEFAULTS[PST_COUNT];
extern const char* const PST_NAMES[PST_COUNT];

void init_eval_params();

// Appends a record named `name`, points the handle at it.
void weight_register(const EvalWeight*& handle, const char* name, int mg, int eg);
// Sequential setting: "mtl_pawn" rewinds the cursor; a name that differs
// from the record's is reported with "error %s  %s" and stored anyway.
void weight_set_next(const char* name, int mg, int eg);
// Scales the floats of every record whose name contains pattern, by
// percentages[0] (mg) and percentages[1] (eg); rebuilds the packed value.
// Returns 1 when nothing matched.
int scale_weights(const char* pattern, const int16_t percentages[2]);
// Reads eval_settings.param_file ("params.txt"); nothing happens when it is missing.
void load_params_file();

// A fractional term f * W: each half's float product truncated toward zero.
inline ScorePair scaled(float f, const EvalWeight* w) { return make_score(int(f * w->mg), int(f * w->eg)); }

} // namespace zelk
