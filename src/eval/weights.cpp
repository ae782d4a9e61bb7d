#include "eval/weights.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "eval/evaluate.h"
#include "core/see.h"

namespace zelk {

EvalParams eval_params;
EvalHandles eval_weights;

namespace {

using Pair = int16_t[2];

// A registered name with its elements' built-in values (mg, eg).
struct WeightGroup {
    const char* name;
    int count;
    const EvalWeight** handles;
    const Pair* defaults;      // count pairs; null for the spare all-zero records
};

EvalHandles& h = eval_weights;

constexpr Pair MTL_PAWN[] = {{100, 100}}, MTL_KNIGHT[] = {{398, 372}}, MTL_BISHOP[] = {{396, 387}};
constexpr Pair MTL_ROOK[] = {{568, 690}}, MTL_QUEEN[] = {{1205, 1260}}, BISHOP_PAIR[] = {{33, 63}};
constexpr Pair PAWN_ISOLATED[] = {{-6, -11}}, PAWN_WEAK[] = {{-5, 4}}, PAWN_BLOCKED[] = {{-7, -9}};
constexpr Pair PAWN_DOUBLED[] = {{-6, -3}};
constexpr Pair PPAWN_BASE[] = {{-17, 25}, {-21, 25}, {-20, 43}, {10, 58}, {63, 88}, {134, 160}};
constexpr Pair PPAWN_MOBILE[] = {{10, 4}, {17, 1}, {21, 8}, {25, 29}, {55, 40}, {54, 93}};
constexpr Pair PPAWN_FREE[] = {{-4, 0}, {-9, -1}, {-26, 15}, {-15, 33}, {22, 53}, {38, 98}};
constexpr Pair PPAWN_FKDIST[] = {{4, 14}, {17, 45}, {31, 19}, {37, 6}, {3, -22}, {4, -47}, {8, -55}, {-31, -39}};
constexpr Pair PPAWN_EKDIST[] = {{-67, -64}, {-14, -22}, {35, -23}, {6, 54}, {14, 95}, {28, 118}, {37, 128}, {33, 115}};
constexpr Pair PPAWN_CONNECTED[] = {{-5, -12}, {-9, -2}, {1, 10}, {5, 1}, {18, 50}, {4, 75}};
constexpr Pair CANDIDATE_PASSER[] = {{0, 0}, {0, 0}, {1, 50}, {7, 68}, {5, 62}, {0, 0}};
constexpr Pair KNIGHT_MOBILITY[] = {{66, 44}}, KNIGHT_TRAPPED[] = {{-12, -26}}, KNIGHT_OUTPOST[] = {{39, 10}};
constexpr Pair KNIGHT_OUTPOST_ATK[] = {{8, 16}}, BISHOP_MOBILITY[] = {{35, 86}}, BISHOP_MOB2[] = {{9, 3}};
constexpr Pair BISHOP_TRAPPED[] = {{0, -53}}, BISHOP_OUTPOST[] = {{48, 5}}, BISHOP_OUTPOST_ATK[] = {{2, 12}};
constexpr Pair ROOK_MOBILITY[] = {{35, 83}}, ROOK_MOB2[] = {{6, 6}}, ROOK_TRAPPED[] = {{0, -33}};
constexpr Pair ROOK_OPENFILE[] = {{19, -7}}, ROOK_7TH[] = {{5, 25}}, QUEEN_MOBILITY[] = {{31, 106}};
constexpr Pair QUEEN_TRAPPED[] = {{-20, -17}}, PAWN_SHIELD[] = {{36, -20}}, ENEMY_CHECKS[] = {{-32, -18}};
constexpr Pair KING_DANGER1[] = {{-214, 9}}, KING_DANGER2[] = {{-79, -10}}, KING_TRAPPED[] = {{-3, -44}};
constexpr Pair KING_PAWN_DIST[] = {{12, -72}}, HUNG_PAWN[] = {{-15, -52}}, ATTACKED_PAWN[] = {{-1, -23}};
constexpr Pair HUNG_MINOR[] = {{-65, -54}}, ATTACKED_MINOR[] = {{-8, -29}}, HUNG_MAJOR[] = {{-67, -30}};
constexpr Pair PPUSH_THREAT[] = {{-17, -23}}, PINNED_PIECE[] = {{-50, -81}}, BISHOP_RAMPAWNS[] = {{-8, -19}};
constexpr Pair STM_BONUS[] = {{26, 21}};

// Everything before the piece-square tables, in registration order.
const WeightGroup GROUPS[] = {
    {"mtl_pawn", 1, &h.mtl_pawn, MTL_PAWN},
    {"mtl_knight", 1, &h.mtl_knight, MTL_KNIGHT},
    {"mtl_bishop", 1, &h.mtl_bishop, MTL_BISHOP},
    {"mtl_rook", 1, &h.mtl_rook, MTL_ROOK},
    {"mtl_queen", 1, &h.mtl_queen, MTL_QUEEN},
    {"bishop_pair", 1, &h.bishop_pair, BISHOP_PAIR},
    {"pawn_isolated", 1, &h.pawn_isolated, PAWN_ISOLATED},
    {"pawn_weak", 1, &h.pawn_weak, PAWN_WEAK},
    {"pawn_blocked", 1, &h.pawn_blocked, PAWN_BLOCKED},
    {"pawn_doubled", 1, &h.pawn_doubled, PAWN_DOUBLED},
    {"ppawn_base", 6, h.ppawn_base, PPAWN_BASE},
    {"ppawn_mobile", 6, h.ppawn_mobile, PPAWN_MOBILE},
    {"ppawn_free", 6, h.ppawn_free, PPAWN_FREE},
    {"ppawn_fkdist", 8, h.ppawn_fkdist, PPAWN_FKDIST},
    {"ppawn_ekdist", 8, h.ppawn_ekdist, PPAWN_EKDIST},
    {"ppawn_connected", 6, h.ppawn_connected, PPAWN_CONNECTED},
    {"candidate_passer", 6, h.candidate_passer, CANDIDATE_PASSER},
    {"knight_mobility", 1, &h.knight_mobility, KNIGHT_MOBILITY},
    {"knight_trapped", 1, &h.knight_trapped, KNIGHT_TRAPPED},
    {"knight_outpost", 1, &h.knight_outpost, KNIGHT_OUTPOST},
    {"knight_outpost_atk", 1, &h.knight_outpost_atk, KNIGHT_OUTPOST_ATK},
    {"bishop_mobility", 1, &h.bishop_mobility, BISHOP_MOBILITY},
    {"bishop_mob2", 1, &h.bishop_mob2, BISHOP_MOB2},
    {"bishop_trapped", 1, &h.bishop_trapped, BISHOP_TRAPPED},
    {"bishop_outpost", 1, &h.bishop_outpost, BISHOP_OUTPOST},
    {"bishop_outpost_atk", 1, &h.bishop_outpost_atk, BISHOP_OUTPOST_ATK},
    {"rook_mobility", 1, &h.rook_mobility, ROOK_MOBILITY},
    {"rook_mob2", 1, &h.rook_mob2, ROOK_MOB2},
    {"rook_trapped", 1, &h.rook_trapped, ROOK_TRAPPED},
    {"rook_openfile", 1, &h.rook_openfile, ROOK_OPENFILE},
    {"rook_7th", 1, &h.rook_7th, ROOK_7TH},
    {"queen_mobility", 1, &h.queen_mobility, QUEEN_MOBILITY},
    {"queen_trapped", 1, &h.queen_trapped, QUEEN_TRAPPED},
    {"pawn_shield", 1, &h.pawn_shield, PAWN_SHIELD},
    {"enemy_checks", 1, &h.enemy_checks, ENEMY_CHECKS},
    {"king_danger1", 1, &h.king_danger1, KING_DANGER1},
    {"king_danger2", 1, &h.king_danger2, KING_DANGER2},
    {"king_trapped", 1, &h.king_trapped, KING_TRAPPED},
    {"king_pawn_dist", 1, &h.king_pawn_dist, KING_PAWN_DIST},
    {"hung_pawn", 1, &h.hung_pawn, HUNG_PAWN},
    {"attacked_pawn", 1, &h.attacked_pawn, ATTACKED_PAWN},
    {"hung_minor", 1, &h.hung_minor, HUNG_MINOR},
    {"attacked_minor", 1, &h.attacked_minor, ATTACKED_MINOR},
    {"hung_major", 1, &h.hung_major, HUNG_MAJOR},
    {"ppush_threat", 1, &h.ppush_threat, PPUSH_THREAT},
    {"pinned_piece", 1, &h.pinned_piece, PINNED_PIECE},
    {"bishop_rampawns", 1, &h.bishop_rampawns, BISHOP_RAMPAWNS},
    {"stm_bonus", 1, &h.stm_bonus, STM_BONUS},
    {"ttune", 32, h.ttune, nullptr},
};

// Registers the 64 records of one table; record s is entry s ^ 56 of the
// rank-8-first built-in table.
void register_pst(const EvalWeight** handles, const char* name, const PstTable& table) {
    for (int s = 0; s < 64; ++s)
        weight_register(handles[s], name, table[s ^ 56][0], table[s ^ 56][1]);
}

// Percentage pair of eval_settings.eval_scales and the names it scales, in call order.
struct ScaleStep {
    int pair;
    const char* patterns[6];
};
constexpr ScaleStep SCALE_STEPS[] = {
    {0, {"mtl_pawn"}},
    {1, {"mtl_knight"}},
    {2, {"mtl_bishop"}},
    {3, {"mtl_rook"}},
    {4, {"mtl_queen"}},
    {5, {"knight_mobility", "knight_outpost", "knight_outpost_atk"}},
    {6, {"bishop_mobility", "bishop_mob2", "bishop_outpost", "bishop_outpost_atk"}},
    {7, {"rook_mobility", "rook_mob2"}},
    {8, {"queen_mobility"}},
    {5, {"PST_N1", "PST_N2"}},
    {6, {"PST_B1", "PST_B2"}},
    {7, {"PST_R1", "PST_R2"}},
    {8, {"PST_Q1", "PST_Q2"}},
    {9, {"PST_P1", "PST_P2", "PST_CP", "PST_DP"}},
    {10, {"ppawn_base", "ppawn_mobile", "ppawn_free", "candidate_passer"}},
    {11, {"king_danger", "enemy_checks"}},
    {12, {"hung_pawn", "attacked_pawn", "hung_minor", "attacked_minor", "hung_major", "pinned_piece"}},
};

void store(EvalWeight& w, int mg, int eg) {
    w.value = make_score(mg, eg);
    w.mg = float(mg);
    w.eg = float(eg);
}

} // namespace

void weight_register(const EvalWeight*& handle, const char* name, int mg, int eg) {
    EvalParams& p = eval_params;
    if (p.count >= EVAL_PARAMS_CAPACITY)
        return;
    EvalWeight& w = p.records[p.count++];
    store(w, mg, eg);
    w.reserved[0] = w.reserved[1] = w.reserved[2] = 0;
    std::snprintf(w.name, sizeof w.name, "%s", name);
    handle = &w;
}

void weight_set_next(const char* name, int mg, int eg) {
    EvalParams& p = eval_params;
    if (std::strcmp(name, "mtl_pawn") == 0)
        p.cursor = 0;
    if (p.cursor >= EVAL_PARAMS_CAPACITY) {
        std::printf("error %s  %s\n", name, "");
        return;
    }
    EvalWeight& w = p.records[p.cursor];
    if (std::strcmp(name, w.name) != 0)
        std::printf("error %s  %s\n", name, w.name);
    store(w, mg, eg);
    ++p.cursor;
}

int scale_weights(const char* pattern, const int16_t percentages[2]) {
    int matched = 0;
    for (int i = 0; i < eval_params.count; ++i) {
        EvalWeight& w = eval_params.records[i];
        if (!std::strstr(w.name, pattern))
            continue;
        matched = 1;
        w.mg = float(double(w.mg) * (percentages[0] * 0.01));
        w.eg = float(double(w.eg) * (percentages[1] * 0.01));
        // std::lround rounds halves away from zero.
        w.value = make_score(int(std::lround(w.mg)), int(std::lround(w.eg)));
    }
    return matched ? 0 : 1;
}

void init_eval_params() {
    EvalParams& p = eval_params;
    const EvalWeight* unused = nullptr;
    p.count = 0;
    for (const WeightGroup& g : GROUPS)
        for (int i = 0; i < g.count; ++i)
            weight_register(g.handles ? g.handles[i] : unused, g.name, 0, 0);
    for (int t = 0; t < PST_COUNT; ++t)
        register_pst(h.pst[t], PST_NAMES[t], PST_DEFAULTS[t]);

    for (const WeightGroup& g : GROUPS)
        for (int i = 0; i < g.count; ++i)
            weight_set_next(g.name, g.defaults ? g.defaults[i][0] : 0, g.defaults ? g.defaults[i][1] : 0);
    for (int t = 0; t < PST_COUNT; ++t)
        for (int s = 0; s < 64; ++s)
            weight_set_next(PST_NAMES[t], PST_DEFAULTS[t][s ^ 56][0], PST_DEFAULTS[t][s ^ 56][1]);

    load_params_file();

    for (const ScaleStep& step : SCALE_STEPS)
        for (const char* pattern : step.patterns)
            if (pattern)
                scale_weights(pattern, eval_settings.eval_scales[step.pair]);

    reset_see_values();
}

} // namespace zelk
