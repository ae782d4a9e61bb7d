// The evaluation entry on the network path, with networks whose heads give
// known constant logits: the material gate, the bare-king formulas, the
// choice of network and head, the phase blend, the jitter, the conversion
// to centipawns and the minor-piece damping.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "../eval/eval_setup.h"
#include "eval/endgames.h"
#include "eval/network_eval.h"
#include "helpers.h"
#include "net_file.h"
#include "nn/network.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

// Every head h answers logits[h] whatever the position: the first layer is
// its bias 1, the second layer its bias 1, and head h weighs only the
// first second-layer neuron, by logits[h].
std::vector<float> constant_params(const NetShape& s, const std::vector<float>& logits) {
    std::vector<float> p(s.param_count(), 0.0f);
    const size_t w3 = size_t(s.inputs()) * s.hidden1 + size_t(s.hidden1) * s.hidden2;
    const size_t extra = w3 + size_t(s.outputs) * s.hidden2 + s.outputs;
    for (size_t h = 0; h < logits.size(); ++h)
        p[w3 + h * s.hidden2] = logits[h];
    p[extra + 1] = 1.0f;
    p[extra + 2] = 1.0f;
    return p;
}

const std::vector<float> LOGITS = {0.5f, -1.0f, 2.0f, 0.25f, 3.0f, -2.5f};

class NetworkEval : public ::testing::Test {
protected:
    void SetUp() override {
        init_eval_for_tests();
        eval_settings.Use_NN_eval = 1;
        const NetShape six{896, 0, 4, 4, 6};
        std::string bytes;
        append_network(bytes, six, 0, constant_params(six, LOGITS));
        load(bytes);
    }
    void TearDown() override {
        unload_networks();
        default_eval_options();
    }
    void load(const std::string& bytes) {
        const std::string path = make_temp_dir() + "/net.bin";
        write_bytes(path, bytes);
        ASSERT_EQ(load_network(path.c_str()), NnLoad::LOADED);
    }
    static int eval(const char* fen, int ply = 1, int in_check = 0) {
        Board b(fen);
        return evaluate(*b.thread, b.pos.side, ply, in_check, 0);
    }
    static int cp(float v) { return logit_to_centipawns(v); }
};

TEST(NetworkConversion, LogitsToCentipawns) {
    EXPECT_EQ(logit_to_centipawns(0.0f), 0);
    EXPECT_EQ(logit_to_centipawns(std::log(99.0f)), 765);     // p = 0.99
    EXPECT_EQ(logit_to_centipawns(-std::log(99.0f)), -765);
    EXPECT_EQ(logit_to_centipawns(0.5f), 83);
    EXPECT_EQ(logit_to_centipawns(11.0f), 1833);              // p just below 0.99999
    EXPECT_EQ(logit_to_centipawns(12.0f), 1919);
    EXPECT_EQ(logit_to_centipawns(-12.0f), -1919);
    EXPECT_EQ(logit_to_centipawns(std::nanf("")), 0);
}

TEST_F(NetworkEval, HeadsByMaterialAndThePhaseBlend) {
    // Full material: phase 1, the blend of heads 0 and 1 is head 0 alone.
    EXPECT_EQ(eval(START_FEN), 83);
    EXPECT_EQ(eval("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -"), 83);
    // A rook and a knight each: phase 16 * 0.016.
    const float phase = 16 * 0.016f;
    EXPECT_EQ(eval("1n2k2r/pppp4/8/8/8/8/PPPP4/1N2K2R w - -"), cp(phase * LOGITS[0] + (1 - phase) * LOGITS[1]));
    EXPECT_EQ(eval("4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -"), cp(LOGITS[2]));          // pawns only
    EXPECT_EQ(eval("4k1n1/pppp4/8/8/8/8/PPPP4/2B1K3 w - -"), cp(LOGITS[3]));      // a minor each
    EXPECT_EQ(eval("4k2r/pppp4/8/8/8/8/PPPP4/4K2R w - -"), cp(LOGITS[4]));        // a rook each
    EXPECT_EQ(eval("3qk3/pppp4/8/8/8/8/PPPP4/3QK3 w - -"), cp(LOGITS[5]));        // a queen each
    EXPECT_EQ(eval("2nqk3/pppp4/8/8/8/8/PPPP4/2BQK3 w - -"),                      // more than a queen
              cp(26 * 0.016f * LOGITS[0] + (1 - 26 * 0.016f) * LOGITS[1]));
    EXPECT_EQ(eval("4k3/pppp4/8/8/8/8/PPPP4/3NK3 w - -"),                         // a knight up: gap 3
              cp(3 * 0.016f * LOGITS[0] + (1 - 3 * 0.016f) * LOGITS[1]));
    // No pawns, rooks or queens and a minor each: a quarter.
    EXPECT_EQ(eval("4k1n1/8/8/8/8/8/8/2B1K3 w - -"), cp(LOGITS[3]) / 4);
}

TEST_F(NetworkEval, HeadsBeyondTheNetworksOutputsFallBackToTheBlend) {
    const NetShape three{896, 0, 4, 4, 3};
    std::string bytes;
    append_network(bytes, three, 1, constant_params(three, {0.5f, -1.0f, 2.0f}));
    load(bytes);
    const float blend = 10 * 0.016f * 0.5f + (1 - 10 * 0.016f) * -1.0f;
    EXPECT_EQ(eval("4k2r/pppp4/8/8/8/8/PPPP4/4K2R w - -"), cp(blend));
    EXPECT_EQ(eval("4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -"), cp(2.0f));
    const NetShape one{896, 0, 4, 4, 1};
    bytes.clear();
    append_network(bytes, one, 1, constant_params(one, {-0.75f}));
    load(bytes);
    EXPECT_EQ(eval(START_FEN), cp(-0.75f));
}

TEST_F(NetworkEval, TheSecondNetworkTakesPawnEndings) {
    const NetShape six{896, 0, 4, 4, 6}, pawns{896, 0, 8, 4, 1};
    std::string bytes;
    append_network(bytes, six, 2, constant_params(six, LOGITS));
    append_network(bytes, pawns, 2, constant_params(pawns, {-0.75f}));
    load(bytes);
    EXPECT_EQ(eval("4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -"), cp(-0.75f));
    EXPECT_EQ(eval("4k1n1/pppp4/8/8/8/8/PPPP4/2B1K3 w - -"), cp(LOGITS[3]));
}

TEST_F(NetworkEval, GateShortCutsCheckAndCache) {
    // A rook up: the hand-crafted evaluation answers, as with the network off.
    const char* rook_up = "4k3/pppp4/8/8/8/8/PPPP4/R3K3 w - -";
    const int network_on = eval(rook_up);
    eval_settings.Use_NN_eval = 0;
    EXPECT_EQ(eval(rook_up), network_on);
    eval_settings.Use_NN_eval = 1;

    Board kpk("8/8/8/4k3/8/8/4P3/4K3 b - -"), krk("8/8/8/4k3/8/8/8/R3K3 w - -"), kbnk("8/8/8/4k3/8/8/8/1NB1K3 w - -");
    EXPECT_EQ(evaluate(*kpk.thread, BLACK, 1, 0, 0), kpk_eval(kpk.pos, BLACK));
    EXPECT_EQ(evaluate(*krk.thread, WHITE, 1, 0, 0), kxk_eval(krk.pos, WHITE));
    EXPECT_EQ(evaluate(*kbnk.thread, WHITE, 1, 0, 0), kbnk_eval(kbnk.pos, WHITE));
    EXPECT_EQ(eval("4k3/8/8/8/8/8/8/8 w - -"), 0);   // no white king

    EXPECT_EQ(eval(START_FEN, 2, 1), -10001);

    Board b("1n2k2r/pppp4/8/8/8/8/PPPP4/1N2K2R w - -");
    const int first = evaluate(*b.thread, WHITE, 2, 0, 0);
    EXPECT_EQ(b.thread->evals, 1u);
    EXPECT_EQ(b.thread->eval_hits, 0u);
    EXPECT_EQ(evaluate(*b.thread, BLACK, 2, 0, 0), -first);   // the other side's view, its own entry
    EXPECT_EQ(evaluate(*b.thread, WHITE, 3, 0, 0), first);
    EXPECT_EQ(b.thread->eval_hits, 1u);
    b.thread->eval_cache[(uint32_t(b.pos.key) & 0x7ffe) + WHITE].score = 1234;
    EXPECT_EQ(evaluate(*b.thread, WHITE, 2, 0, 0), 1234);
    EXPECT_EQ(evaluate(*b.thread, WHITE, 1, 0, 0), first);    // the root recomputes
}

TEST_F(NetworkEval, JitterNeedsTwoGamePliesAndMovesTheLogitByAtMost127Steps) {
    eval_settings.eval_jitter = 1;
    eval_settings.game_plies = 1;
    EXPECT_EQ(eval(START_FEN), 83);
    eval_settings.game_plies = 2;
    std::ifstream in(std::string(ZELK_TEST_DATA) + "/openings.epd");
    std::string fen;
    int checked = 0, moved = 0;
    while (std::getline(in, fen)) {
        Board b(fen.c_str());
        // Full material (phase 1) within the gate: the logit is head 0's 0.5.
        if (b.pos.npm[WHITE] + b.pos.npm[BLACK] < 63 || b.pos.npm[WHITE] != b.pos.npm[BLACK] ||
            (b.pos.mat_sig[WHITE] & 15) != (b.pos.mat_sig[BLACK] & 15))
            continue;
        const int got = evaluate(*b.thread, b.pos.side, 1, 0, 0);
        ASSERT_NEAR(got, 83, cp(0.5f + 0.0127f) - 83) << fen;
        moved += got != 83;
        ++checked;
    }
    EXPECT_GT(checked, 100);
    EXPECT_GT(moved, 10);
}

} // namespace
} // namespace zelk::test
