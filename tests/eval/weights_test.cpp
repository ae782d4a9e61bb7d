// The weight table: scaling, and the parameter file in good and bad forms.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "core/types.h"
#include "eval/score.h"
#include "eval/weights.h"
#include "eval_setup.h"

namespace zelk {
namespace {

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

TEST_F(Weights, ScalingRoundsHitsOutpostAttacksTwiceAndDoesNotAccumulate) {
    const EvalHandles& w = eval_weights;
    const ScorePair outpost = w.knight_outpost->value;
    eval_settings.eval_scales[5][0] = eval_settings.eval_scales[5][1] = 50;
    eval_settings.eval_scales[0][0] = 200;   // the middle-game half of the pawn only
    init_eval_params();
    init_eval_params();   // from the defaults again, not from the scaled values
    expect_pair(w.mtl_pawn, 200, 100);
    EXPECT_EQ(w.knight_outpost_atk->mg, 2.0f);       // 8 halved twice
    EXPECT_EQ(w.knight_outpost_atk->eg, 4.0f);
    EXPECT_EQ(w.knight_outpost->mg, 19.5f);
    EXPECT_EQ(mg_of(w.knight_outpost->value), 20);  // halves round away from zero
    EXPECT_EQ(eg_of(w.knight_outpost->value), 5);
    expect_pair(w.mtl_knight, 398, 372);             // other groups untouched
    test::default_eval_options();
    init_eval_params();
    EXPECT_EQ(w.knight_outpost->value, outpost);
    expect_pair(w.mtl_pawn, 100, 100);

    const int16_t halves[2] = {50, 50};
    EXPECT_EQ(scale_weights("pawn_blocked", halves), 0);
    EXPECT_EQ(mg_of(w.pawn_blocked->value), -4);     // -3.5
    EXPECT_EQ(eg_of(w.pawn_blocked->value), -5);     // -4.5
    EXPECT_EQ(scale_weights("no_such_weight", halves), 1);
}

// The file sets the records in order from the first, in either line form;
// short lines and names too long for the buffer are reported and skipped.
TEST_F(Weights, ParamsFileSetsAPrefixAndSkipsBadLines) {
    EXPECT_EQ(load("fset(\"mtl_pawn\", 100, 100)\n"
                   "mtl_knight, 398, 372\n"
                   "fset(\"mtl_bishop\",396,387)\n"
                   "mtl_rook, 568, 690\n"
                   "fset(\"mtl_queen\", 1205, 1260)\n"
                   "bishop_pair, 40, 70\n"),
              "");
    expect_pair(eval_weights.bishop_pair, 40, 70);
    expect_pair(eval_weights.pawn_isolated, -6, -11);
    EXPECT_EQ(eval_params.cursor, 6);

    const std::string out = load("mtl_pawn, 90, 95\n"
                                 "\n"
                                 "mtl_knight, 300\n"
                                 "fset(\"mtl_knight\")\n"
                                 "an_extremely_long_weight_name_beyond_any_buffer_size_here, 1, 2\n"
                                 "fset(\"mtl_knight\", 301, -302)\n");
    EXPECT_NE(out.find("error mtl_knight  mtl_knight"), std::string::npos) << out;
    EXPECT_NE(out.find("error an_extremely_long_weight_name_b  mtl_knight"), std::string::npos) << out;
    expect_pair(eval_weights.mtl_pawn, 90, 95);
    expect_pair(eval_weights.mtl_knight, 301, -302);
    expect_pair(eval_weights.mtl_bishop, 396, 387);
    expect_pair(eval_weights.bishop_pair, 33, 63);   // re-read from scratch
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
    expect_pair(&eval_params.records[EVAL_PARAMS_CAPACITY - 1], 7, 7);
    // Every misplaced name is reported, and so is every line past the capacity.
    size_t errors = 0;
    for (size_t at = out.find("error filler"); at != std::string::npos; at = out.find("error filler", at + 1))
        ++errors;
    EXPECT_EQ(errors, size_t(EVAL_PARAMS_CAPACITY + 49));
}

} // namespace
} // namespace zelk
