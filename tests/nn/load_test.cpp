// Loading network files: counts, layout and rounding of the parameters, and
// files that must be refused without touching the networks in use.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>

#include "net_file.h"
#include "nn/inference.h"
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

TEST(NetQuantise, RoundsToMultiplesOf1Over2000HalvesAwayFromZero) {
    EXPECT_FLOAT_EQ(quantise_weight(0.00074f), 0.0005f);
    EXPECT_FLOAT_EQ(quantise_weight(-0.00025f), -0.0005f);
    EXPECT_FLOAT_EQ(quantise_weight(0.00024f), 0.0f);
    EXPECT_FLOAT_EQ(quantise_weight(1.23456f), 1.2345f);
    EXPECT_FLOAT_EQ(quantise_weight(-3.0f), -3.0f);
}

TEST_F(NetLoad, CountZeroLoadsOneNetwork) {
    const NetShape shape{896, 10, 6, 3, 2};
    std::vector<float> p = random_params(shape, 7);
    p[0] = 0.00074f;
    p[1] = -0.00025f;
    std::string bytes;
    append_network(bytes, shape, 0, p);
    ASSERT_EQ(load(file("one.bin", bytes)), NnLoad::LOADED);
    ASSERT_EQ(networks.count, 1);
    const Network& net = networks.slot[0];
    EXPECT_EQ(net.inputs, 906);
    EXPECT_EQ(net.param_count, shape.param_count());
    EXPECT_EQ(net.w1[0], 1);    // in units of 1/2000
    EXPECT_EQ(net.w1[1], -1);
    EXPECT_TRUE(printed.empty()) << printed;
}

TEST_F(NetLoad, CountOneAndTwoFillTheirSlots) {
    NetShape small{896, 0, 8, 4, 1}, pawns{1792, 0, 12, 4, 3};
    std::string bytes;
    append_network(bytes, small, 2, random_params(small, 1));
    append_network(bytes, pawns, 2, random_params(pawns, 2));
    ASSERT_EQ(load(file("two.bin", bytes)), NnLoad::LOADED);
    EXPECT_EQ(networks.count, 2);
    EXPECT_EQ(networks.slot[0].hidden1, 8);
    EXPECT_EQ(networks.slot[1].hidden1, 12);
    EXPECT_EQ(networks.slot[1].outputs, 3);
    EXPECT_EQ(networks.max_stride1, 12);

    // A later one-network file empties slot 1; trailing bytes are ignored.
    std::string one = random_net_file(small, 1, 3) + "trailing";
    ASSERT_EQ(load(file("one.bin", one)), NnLoad::LOADED);
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
        std::string s;
        append_network(s, NetShape{a, b, h1, h2, out}, count, {});
        return s;
    };
    std::vector<float> nan_params = random_params(shape, 6);
    nan_params[100] = std::bit_cast<float>(0x7fc00000u);
    std::string nan_file;
    append_network(nan_file, shape, 1, nan_params);
    std::vector<float> big_params = random_params(shape, 6);
    big_params[50] = 8000.5f;
    std::string big_weight;
    append_network(big_weight, shape, 1, big_params);

    struct Case {
        const char* name;
        std::string bytes;
        bool short_message;   // "error loading NN" on standard output
    } cases[] = {
        {"empty", "", true},
        {"half header", good.substr(0, 9), true},
        {"block cut by one byte", good.substr(0, good.size() - 1), true},
        {"second network missing", [&] {
             std::string s;
             append_network(s, shape, 2, random_params(shape, 1));
             return s;
         }(), true},
        {"huge sizes", header(1, 65535, 65535, 65535, 65535, 65535) + std::string(100, '\0'), true},
        {"count 3", random_net_file(shape, 3, 9), false},
        {"count -1", header(-1, 896, 0, 8, 4, 1), false},
        {"too few inputs", header(1, 100, 0, 8, 4, 1) + std::string(100000, '\0'), false},
        {"no outputs", header(1, 896, 0, 8, 4, 0) + std::string(100000, '\0'), false},
        {"empty layer", header(1, 896, 0, 0, 4, 1) + std::string(1000, '\0'), false},
        {"not a number", nan_file, false},
        {"first-layer weight too large", big_weight, false},
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

} // namespace
} // namespace zelk::test
