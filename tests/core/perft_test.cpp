#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "helpers.h"

namespace zelk {
namespace {

// Every position of both suites up to ZELK_PERFT_DEPTH (4 by default).
class PerftSuite : public ::testing::TestWithParam<const char*> {};

TEST_P(PerftSuite, MatchesEveryCount) {
    const int max_depth = test::perft_depth(4);
    for (const auto& c : test::load_perft_suite(GetParam())) {
        test::Board b(c.fen.c_str());
        const int depth = std::min<int>(max_depth, int(c.counts.size()));
        for (int d = 1; d <= depth; ++d)
            ASSERT_EQ(test::perft_count(b, d), c.counts[d - 1]) << c.fen << " depth " << d;
        ASSERT_EQ(b.fen(), test::Board(c.fen.c_str()).fen()) << "perft leaves the position as it found it";
    }
}

INSTANTIATE_TEST_SUITE_P(Suites, PerftSuite, ::testing::Values("perft-standard.epd", "perft-chess960.epd"),
                         [](const auto& param_info) { return std::string(param_info.param).find("960") != std::string::npos ? "chess960" : "standard"; });

TEST(Perft, PositionsWithoutAKingCountWithoutCrashing) {
    test::Board kingless("8/8/8/8/8/8/4P3/8 w - -");
    EXPECT_EQ(test::perft_count(kingless, 2), 0u) << "no black moves at all";
}

} // namespace
} // namespace zelk
