// The weight table: registration order and names, built-in values, packing,
// scaling, and the parameter file in its accepted and hostile forms.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "core/types.h"
#include "eval/score.h"
#include "eval/weights.h"
#include "eval_setup.h"

namespace zelk {
namespace {

const EvalWeight& record(int i) { return eval_params.records[i]; }

int index_of(const char* name) {
    for (int i = 0; i < eval_params.count; ++i)
        if (std::strcmp(record(i).name, name) == 0)
            return i;
    return -1;
}

void expect_pair(const EvalWeight* w, int mg, int eg) {
    EXPECT_EQ(mg_of(w->value), mg) << w->name;
    EXPECT_EQ(eg_of(w->value), eg) << w->name;
    EXPECT_EQ(w->mg, float(mg)) << w->name;
    EXPECT_EQ(w->eg, float(eg)) << w->name;
}

class Weights : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval_for_tests(); }
    void TearDown() override {
        std::remove(file_.c_str());
        test::init_eval_for_tests();
    }
    // Writes a parameter file, loads it through init_eval_params, returns what was printed.
    std::string load(const std::string& text) {
        file_ = ::testing::TempDir() + "zelk_params_test.txt";
        std::ofstream(file_) << text;
        std::snprintf(eval_settings.param_file, sizeof eval_settings.param_file, "%s", file_.c_str());
        ::testing::internal::CaptureStdout();
        init_eval_params();
        std::fflush(stdout);
        return ::testing::internal::GetCapturedStdout();
    }
    std::string file_;
};

TEST(ScorePair, PacksAndUnpacksBothHalves) {
    const int values[] = {0, 1, -1, 100, -100, 32767, -32768, 1205, -214};
    for (int mg : values)
        for (int eg : values) {
            ScorePair s = make_score(mg, eg);
            EXPECT_EQ(mg_of(s), mg);
            EXPECT_EQ(eg_of(s), eg);
        }
    // Sums and small multiples stay packed.
    ScorePair s = make_score(-7, 9) * 3 + make_score(10, -20);
    EXPECT_EQ(mg_of(s), -11);
    EXPECT_EQ(eg_of(s), 7);
}

TEST_F(Weights, RegistersEveryRecordInOrder) {
    struct Group {
        const char* name;
        int count;
    };
    const Group order[] = {
        {"mtl_pawn", 1}, {"mtl_knight", 1}, {"mtl_bishop", 1}, {"mtl_rook", 1}, {"mtl_queen", 1},
        {"bishop_pair", 1}, {"pawn_isolated", 1}, {"pawn_weak", 1}, {"pawn_blocked", 1}, {"pawn_doubled", 1},
        {"ppawn_base", 6}, {"ppawn_mobile", 6}, {"ppawn_free", 6}, {"ppawn_fkdist", 8}, {"ppawn_ekdist", 8},
        {"ppawn_connected", 6}, {"candidate_passer", 6}, {"knight_mobility", 1}, {"knight_trapped", 1},
        {"knight_outpost", 1}, {"knight_outpost_atk", 1}, {"bishop_mobility", 1}, {"bishop_mob2", 1},
        {"bishop_trapped", 1}, {"bishop_outpost", 1}, {"bishop_outpost_atk", 1}, {"rook_mobility", 1},
        {"rook_mob2", 1}, {"rook_trapped", 1}, {"rook_openfile", 1}, {"rook_7th", 1}, {"queen_mobility", 1},
        {"queen_trapped", 1}, {"pawn_shield", 1}, {"enemy_checks", 1}, {"king_danger1", 1}, {"king_danger2", 1},
        {"king_trapped", 1}, {"king_pawn_dist", 1}, {"hung_pawn", 1}, {"attacked_pawn", 1}, {"hung_minor", 1},
        {"attacked_minor", 1}, {"hung_major", 1}, {"ppush_threat", 1}, {"pinned_piece", 1},
        {"bishop_rampawns", 1}, {"stm_bonus", 1}, {"ttune", 32}, {"PST_P1", 64}, {"PST_CP", 64}, {"PST_DP", 64},
        {"PST_N1", 64}, {"PST_B1", 64}, {"PST_R1", 64}, {"PST_Q1", 64}, {"PST_K", 64}, {"PST_P2", 64},
        {"PST_N2", 64}, {"PST_B2", 64}, {"PST_R2", 64}, {"PST_Q2", 64},
    };
    int i = 0;
    for (const Group& g : order)
        for (int k = 0; k < g.count; ++k, ++i)
            ASSERT_STREQ(record(i).name, g.name) << "record " << i;
    EXPECT_EQ(i, EVAL_WEIGHT_COUNT);
    EXPECT_EQ(eval_params.count, EVAL_WEIGHT_COUNT);
    EXPECT_EQ(eval_params.cursor, EVAL_WEIGHT_COUNT);
    for (int r = 0; r < EVAL_WEIGHT_COUNT; ++r)
        EXPECT_EQ(record(r).reserved[0] | record(r).reserved[1] | record(r).reserved[2], 0u);
}

// Handles reach their records; a few built-in values, scalars and array elements.
TEST_F(Weights, HandlesAndBuiltInValues) {
    const EvalHandles& w = eval_weights;
    EXPECT_EQ(w.mtl_pawn, &record(0));
    EXPECT_EQ(w.ppawn_ekdist[7], &record(index_of("ppawn_ekdist") + 7));
    EXPECT_EQ(w.pst[PST_Q2][63], &record(EVAL_WEIGHT_COUNT - 1));
    expect_pair(w.mtl_queen, 1205, 1260);
    expect_pair(w.king_danger1, -214, 9);
    expect_pair(w.stm_bonus, 26, 21);
    expect_pair(w.ppawn_base[5], 134, 160);
    expect_pair(w.ppawn_fkdist[7], -31, -39);
    expect_pair(w.candidate_passer[3], 7, 68);
    expect_pair(w.ttune[31], 0, 0);
}

TEST_F(Weights, PieceSquareRowsAndRanges) {
    const EvalHandles& w = eval_weights;
    const int p1_rank7[8][2] = {{33, 37}, {28, 36}, {29, 23}, {29, 8}, {24, 4}, {12, -4}, {-1, -4}, {-19, -10}};
    const int p1_rank2[8][2] = {{-24, 5}, {-22, -2}, {-25, 0}, {-25, 5}, {-22, 25}, {7, 23}, {30, 4}, {-12, 0}};
    const int p2_rank6[8][2] = {{-14, 29}, {17, 17}, {25, 9}, {23, 6}, {21, 26}, {32, 52}, {32, 64}, {24, 66}};
    const int n1_rank8[8][2] = {{-70, -60}, {-40, -35}, {-31, -25}, {-28, -23},
                                {-27, -24}, {-33, -31}, {-40, -39}, {-68, -66}};
    for (int f = 0; f < 8; ++f) {
        expect_pair(w.pst[PST_P1][48 + f], p1_rank7[f][0], p1_rank7[f][1]);
        expect_pair(w.pst[PST_P1][8 + f], p1_rank2[f][0], p1_rank2[f][1]);
        expect_pair(w.pst[PST_P2][40 + f], p2_rank6[f][0], p2_rank6[f][1]);
        expect_pair(w.pst[PST_N1][56 + f], n1_rank8[f][0], n1_rank8[f][1]);
    }
    const int k_rank1[4][2] = {{-20, -55}, {-31, -38}, {6, -59}, {1, -90}};
    const int k_rank5[4][2] = {{-6, 33}, {3, 31}, {6, 20}, {-9, -3}};
    for (int f = 0; f < 4; ++f) {
        expect_pair(w.pst[PST_K][4 + f], k_rank1[f][0], k_rank1[f][1]);
        expect_pair(w.pst[PST_K][36 + f], k_rank5[f][0], k_rank5[f][1]);
    }
    for (int t = 0; t < PST_COUNT; ++t)
        for (int s = 0; s < 64; ++s) {
            const ScorePair v = w.pst[t][s]->value;
            EXPECT_GE(mg_of(v), -90);
            EXPECT_LE(mg_of(v), 66);
            EXPECT_GE(eg_of(v), -90);
            EXPECT_LE(eg_of(v), 66);
            const bool zero_rank = rank_of(s) == 0 || rank_of(s) == 7 || (t == PST_DP && rank_of(s) == 1);
            const bool pawn_table = t == PST_P1 || t == PST_P2 || t == PST_CP || t == PST_DP;
            if ((pawn_table && zero_rank) || (t == PST_K && file_of(s) < 4)) {
                EXPECT_EQ(v, 0) << PST_NAMES[t] << " square " << s;
            }
        }
}

TEST_F(Weights, ScalingRoundsAndHitsOutpostAttacksTwice) {
    eval_settings.eval_scales[5][0] = eval_settings.eval_scales[5][1] = 50;
    eval_settings.eval_scales[9][0] = 50;
    eval_settings.eval_scales[11][1] = 200;
    init_eval_params();
    const EvalHandles& w = eval_weights;
    EXPECT_EQ(w.knight_outpost_atk->mg, 2.0f);       // 8 halved twice
    EXPECT_EQ(w.knight_outpost_atk->eg, 4.0f);
    EXPECT_EQ(w.knight_outpost->mg, 19.5f);
    EXPECT_EQ(mg_of(w.knight_outpost->value), 20);  // halves round away from zero
    EXPECT_EQ(eg_of(w.knight_outpost->value), 5);
    EXPECT_EQ(mg_of(w.pst[PST_P1][8]->value), -12);  // a2: -24 halved
    EXPECT_EQ(mg_of(w.pst[PST_P1][49]->value), 14);  // b7: 28 halved
    EXPECT_EQ(eg_of(w.pst[PST_P1][49]->value), 36);
    expect_pair(w.king_danger1, -214, 18);
    expect_pair(w.king_danger2, -79, -20);
    expect_pair(w.enemy_checks, -32, -36);
    expect_pair(w.mtl_knight, 398, 372);             // other groups untouched
    expect_pair(w.bishop_outpost_atk, 2, 12);

    const int16_t halves[2] = {50, 50};
    EXPECT_EQ(scale_weights("pawn_blocked", halves), 0);
    EXPECT_EQ(mg_of(w.pawn_blocked->value), -4);     // -3.5
    EXPECT_EQ(eg_of(w.pawn_blocked->value), -5);     // -4.5
    EXPECT_EQ(scale_weights("no_such_weight", halves), 1);
}

TEST_F(Weights, ReinitialisingDoesNotAccumulate) {
    eval_settings.eval_scales[0][0] = 200;
    init_eval_params();
    init_eval_params();
    expect_pair(eval_weights.mtl_pawn, 200, 100);
    test::default_eval_options();
    init_eval_params();
    expect_pair(eval_weights.mtl_pawn, 100, 100);
}

TEST_F(Weights, ParamsFileSetsAPrefixInEitherLineForm) {
    std::string out = load("fset(\"mtl_pawn\", 100, 100)\n"
                           "mtl_knight, 398, 372\n"
                           "fset(\"mtl_bishop\",396,387)\n"
                           "mtl_rook, 568, 690\n"
                           "fset(\"mtl_queen\", 1205, 1260)\n"
                           "bishop_pair, 40, 70\n");
    EXPECT_EQ(out, "");
    expect_pair(eval_weights.bishop_pair, 40, 70);
    expect_pair(eval_weights.pawn_isolated, -6, -11);
    expect_pair(eval_weights.pst[PST_Q2][63], mg_of(eval_weights.pst[PST_Q2][63]->value),
                eg_of(eval_weights.pst[PST_Q2][63]->value));
    EXPECT_EQ(eval_params.cursor, 6);
    out = load("fset(\"mtl_pawn\", 100, 100)\nfset(\"mtl_knight\", 1, -2)\n");
    expect_pair(eval_weights.mtl_knight, 1, -2);
    expect_pair(eval_weights.bishop_pair, 33, 63);   // re-read from scratch
}

TEST_F(Weights, ParamsFileStartingWithTheWrongNameWritesPastTheTable) {
    std::string out = load("mtl_knight, 1, 2\n");
    EXPECT_EQ(out, "error mtl_knight  \n");
    expect_pair(eval_weights.mtl_knight, 398, 372);
    EXPECT_EQ(eval_params.count, EVAL_WEIGHT_COUNT);
    EXPECT_EQ(mg_of(record(EVAL_WEIGHT_COUNT).value), 1);  // the free record after the table
    EXPECT_STREQ(record(EVAL_WEIGHT_COUNT).name, "");
}

TEST_F(Weights, ParamsFileMisplacedNameIsReportedAndStored) {
    std::string out = load("mtl_pawn, 90, 95\nmtl_rook, 500, 600\n");
    EXPECT_EQ(out, "error mtl_rook  mtl_knight\n");
    expect_pair(eval_weights.mtl_pawn, 90, 95);
    expect_pair(eval_weights.mtl_knight, 500, 600);
    expect_pair(eval_weights.mtl_rook, 568, 690);
}

TEST_F(Weights, ParamsFileShortLinesAndLongNamesAreSkipped) {
    std::string out = load("mtl_pawn, 90, 95\n"
                           "\n"
                           "mtl_knight, 300\n"
                           "fset(\"mtl_knight\")\n"
                           "an_extremely_long_weight_name_beyond_any_buffer_size_here, 1, 2\n"
                           "mtl_knight, 301, 302\n");
    EXPECT_NE(out.find("error mtl_knight  mtl_knight"), std::string::npos) << out;
    EXPECT_NE(out.find("error an_extremely_long_weight_name_b  mtl_knight"), std::string::npos) << out;
    expect_pair(eval_weights.mtl_pawn, 90, 95);
    expect_pair(eval_weights.mtl_knight, 301, 302);
    expect_pair(eval_weights.mtl_bishop, 396, 387);
    EXPECT_EQ(eval_params.cursor, 2);
}

TEST_F(Weights, ParamsFileLongerThanTheTableStopsAtItsEnd) {
    std::string text = "mtl_pawn, 100, 100\n";
    for (int i = 1; i < EVAL_PARAMS_CAPACITY + 50; ++i)
        text += "filler, 7, 7\n";
    std::string out = load(text);
    EXPECT_EQ(eval_params.cursor, EVAL_PARAMS_CAPACITY);
    EXPECT_EQ(eval_params.count, EVAL_WEIGHT_COUNT);
    expect_pair(eval_weights.mtl_knight, 7, 7);
    expect_pair(&record(EVAL_PARAMS_CAPACITY - 1), 7, 7);
    // Every misplaced name is reported, and so is every line past the capacity.
    size_t errors = 0;
    for (size_t at = out.find("error filler"); at != std::string::npos; at = out.find("error filler", at + 1))
        ++errors;
    EXPECT_EQ(errors, size_t(EVAL_PARAMS_CAPACITY + 49));
}

} // namespace
} // namespace zelk
