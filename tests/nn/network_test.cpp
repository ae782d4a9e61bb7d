// Network files (counts, rounding, bad files refused without touching the
// networks in use), and the evaluation with networks whose heads give known
// constant logits: the gate, the choice of network and head, the jitter.
#include <gtest/gtest.h>

#include <bit>
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

class NetLoad : public ::testing::Test {
protected:
    void SetUp() override {
        unload_networks();
        dir = make_temp_dir();
    }
    void TearDown() override { unload_networks(); }

    std::string file(const char* name, const std::string& bytes) {
        const std::string path = dir + "/" + name;
        write_bytes(path, bytes);
        return path;
    }
    // Loads path with standard output captured into `printed`.
    NnLoad load(const std::string& path) {
        ::testing::internal::CaptureStdout();
        const NnLoad result = load_network(path.c_str());
        printed = ::testing::internal::GetCapturedStdout();
        return result;
    }

    std::string dir;
    std::string printed;
};

// Weights are kept in units of 1/2000, halves rounded away from zero.
TEST_F(NetLoad, CountsZeroOneAndTwo) {
    const NetShape shape{896, 10, 6, 3, 2};
    std::vector<float> p = random_params(shape, 7);
    p[0] = 0.00074f;
    p[1] = -0.00025f;
    ASSERT_EQ(load(file("one.bin", network_bytes(shape, 0, p))), NnLoad::LOADED);
    ASSERT_EQ(networks.count, 1);
    EXPECT_EQ(networks.slot[0].inputs, 906);
    EXPECT_EQ(networks.slot[0].w1[0], 1);
    EXPECT_EQ(networks.slot[0].w1[1], -1);
    EXPECT_TRUE(printed.empty()) << printed;

    NetShape small{896, 0, 8, 4, 1}, pawns{1792, 0, 12, 4, 3};
    const std::string two = network_bytes(small, 2, random_params(small, 1)) + network_bytes(pawns, 2, random_params(pawns, 2));
    ASSERT_EQ(load(file("two.bin", two)), NnLoad::LOADED);
    EXPECT_EQ(networks.count, 2);
    EXPECT_EQ(networks.slot[0].hidden1, 8);
    EXPECT_EQ(networks.slot[1].hidden1, 12);
    EXPECT_EQ(networks.slot[1].outputs, 3);

    // A later one-network file empties slot 1; trailing bytes are ignored.
    ASSERT_EQ(load(file("one.bin", random_net_file(small, 1, 3) + "trailing")), NnLoad::LOADED);
    EXPECT_EQ(networks.count, 1);
    EXPECT_FALSE(networks.slot[1].params);
    EXPECT_EQ(networks.max_stride1, 12);   // buffers stay sized for the largest seen
}

TEST_F(NetLoad, BadFilesKeepTheNetworksInUse) {
    const NetShape shape{896, 0, 8, 4, 1};
    const std::string good = random_net_file(shape, 1, 5);
    ASSERT_EQ(load(file("good.bin", good)), NnLoad::LOADED);
    const uint32_t generation = networks.generation;
    const float first = networks.slot[0].w1[0];

    auto header = [](int16_t count, uint16_t a, uint16_t b, uint16_t h1, uint16_t h2, uint16_t out) {
        return network_bytes(NetShape{a, b, h1, h2, out}, count, {});
    };
    // Random parameters of one network with one of them replaced.
    auto with_param = [&](size_t i, float v) {
        std::vector<float> p = random_params(shape, 6);
        p[i] = v;
        return network_bytes(shape, 1, p);
    };

    struct Case {
        const char* name;
        std::string bytes;
        bool short_message;   // "error loading NN" on standard output
    } cases[] = {
        {"empty", "", true},
        {"half header", good.substr(0, 9), true},
        {"block cut by one byte", good.substr(0, good.size() - 1), true},
        {"second network missing", network_bytes(shape, 2, random_params(shape, 1)), true},
        {"huge sizes", header(1, 65535, 65535, 65535, 65535, 65535) + std::string(100, '\0'), true},
        {"count 3", random_net_file(shape, 3, 9), false},
        {"count -1", header(-1, 896, 0, 8, 4, 1), false},
        {"too few inputs", header(1, 100, 0, 8, 4, 1) + std::string(100000, '\0'), false},
        {"no outputs", header(1, 896, 0, 8, 4, 0) + std::string(100000, '\0'), false},
        {"empty layer", header(1, 896, 0, 0, 4, 1) + std::string(1000, '\0'), false},
        {"not a number", with_param(100, std::bit_cast<float>(0x7fc00000u)), false},
        {"first-layer weight too large", with_param(50, 8000.5f), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(load(file("bad.bin", c.bytes)), NnLoad::BAD_FILE) << c.name;
        EXPECT_NE(printed.find("the networks in use are kept"), std::string::npos) << c.name << ": " << printed;
        EXPECT_EQ(printed.rfind("error loading NN\n", 0) == 0, c.short_message) << c.name << ": " << printed;
        EXPECT_EQ(networks.count, 1) << c.name;
        EXPECT_EQ(networks.generation, generation) << c.name;
        EXPECT_EQ(networks.slot[0].w1[0], first) << c.name;
    }
    EXPECT_EQ(load(dir + "/missing.bin"), NnLoad::CANNOT_OPEN);
    EXPECT_TRUE(printed.empty());
    EXPECT_EQ(load(dir), NnLoad::BAD_FILE);   // a directory opens but reads nothing
    EXPECT_EQ(networks.generation, generation);
}

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

class NetworkEval : public NetLoad {
protected:
    void SetUp() override {
        NetLoad::SetUp();
        init_eval_for_tests();
        eval_settings.Use_NN_eval = 1;
        const NetShape six{896, 0, 4, 4, 6};
        use(network_bytes(six, 0, constant_params(six, LOGITS)));
    }
    void TearDown() override {
        NetLoad::TearDown();
        default_eval_options();
    }
    void use(const std::string& bytes) { ASSERT_EQ(load(file("net.bin", bytes)), NnLoad::LOADED); }
    static int cp(float v) { return logit_to_centipawns(v); }
};

TEST_F(NetworkEval, HeadsByMaterialThePhaseBlendAndASecondNetwork) {
    // Heads 0 and 1 blended by phase, 0.016 a unit of piece material.
    auto blend = [](int units) { return cp(units * 0.016f * LOGITS[0] + (1 - units * 0.016f) * LOGITS[1]); };
    const char* pawns = "4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -";
    const char* minors = "4k1n1/pppp4/8/8/8/8/PPPP4/2B1K3 w - -";
    const char* rooks = "4k2r/pppp4/8/8/8/8/PPPP4/4K2R w - -";
    EXPECT_EQ(eval_fen(START_FEN), 83);   // full material: head 0 alone, for either side to move
    EXPECT_EQ(eval_fen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -"), 83);
    EXPECT_EQ(eval_fen("1n2k2r/pppp4/8/8/8/8/PPPP4/1N2K2R w - -"), blend(16));
    EXPECT_EQ(eval_fen(pawns), cp(LOGITS[2]));
    EXPECT_EQ(eval_fen(minors), cp(LOGITS[3]));
    EXPECT_EQ(eval_fen(rooks), cp(LOGITS[4]));
    EXPECT_EQ(eval_fen("3qk3/pppp4/8/8/8/8/PPPP4/3QK3 w - -"), cp(LOGITS[5]));
    EXPECT_EQ(eval_fen("2nqk3/pppp4/8/8/8/8/PPPP4/2BQK3 w - -"), blend(26));   // more than a queen each
    EXPECT_EQ(eval_fen("4k3/pppp4/8/8/8/8/PPPP4/3NK3 w - -"), blend(3));       // a knight up
    EXPECT_EQ(eval_fen("4k1n1/8/8/8/8/8/8/2B1K3 w - -"), cp(LOGITS[3]) / 4);   // a minor each, no pawns

    // Three heads: a rook each asks for a head the network lacks, so the blend.
    const NetShape three{896, 0, 4, 4, 3}, one{896, 0, 4, 4, 1}, six{896, 0, 4, 4, 6}, pawn_net{896, 0, 8, 4, 1};
    use(network_bytes(three, 1, constant_params(three, {LOGITS[0], LOGITS[1], LOGITS[2]})));
    EXPECT_EQ(eval_fen(rooks), blend(10));
    EXPECT_EQ(eval_fen(pawns), cp(LOGITS[2]));
    use(network_bytes(one, 1, constant_params(one, {-0.75f})));
    EXPECT_EQ(eval_fen(START_FEN), cp(-0.75f));
    // A second network in the file takes the pawn endings.
    use(network_bytes(six, 2, constant_params(six, LOGITS)) + network_bytes(pawn_net, 2, constant_params(pawn_net, {-0.75f})));
    EXPECT_EQ(eval_fen(pawns), cp(-0.75f));
    EXPECT_EQ(eval_fen(minors), cp(LOGITS[3]));
}

TEST_F(NetworkEval, GateShortCutsAndCheck) {
    // A rook up: the hand-crafted evaluation answers, as with the network off.
    const char* rook_up = "4k3/pppp4/8/8/8/8/PPPP4/R3K3 w - -";
    const int network_on = eval_fen(rook_up);
    eval_settings.Use_NN_eval = 0;
    EXPECT_EQ(eval_fen(rook_up), network_on);
    eval_settings.Use_NN_eval = 1;

    // King and pawn is within the gate, but the table answers before the network.
    Board kpk("8/8/8/4k3/8/8/4P3/4K3 b - -");
    EXPECT_EQ(evaluate(*kpk.thread, BLACK, 1, 0, 0), kpk_eval(kpk.pos, BLACK));
    EXPECT_EQ(eval_fen("4k3/8/8/8/8/8/8/8 w - -"), 0);   // no white king

    EXPECT_EQ(eval_fen(START_FEN, WHITE, 2, 1), -10001);
}

TEST_F(NetworkEval, JitterNeedsTwoGamePliesAndMovesTheLogitByAtMost127Steps) {
    eval_settings.eval_jitter = 1;
    eval_settings.game_plies = 1;
    EXPECT_EQ(eval_fen(START_FEN), 83);
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
