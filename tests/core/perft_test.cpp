#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "search/perft.h"
#include "helpers.h"

namespace zelk {
namespace {

TEST(Perft, KnownCounts) {
    test::Board start;
    EXPECT_EQ(test::perft_count(start, 0), 1u);
    EXPECT_EQ(test::perft_count(start, 1), 20u);
    EXPECT_EQ(test::perft_count(start, 2), 400u);
    EXPECT_EQ(test::perft_count(start, 3), 8902u);
    test::Board kiwipete("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
    EXPECT_EQ(test::perft_count(kiwipete, 1), 48u);
    EXPECT_EQ(test::perft_count(kiwipete, 2), 2039u);
    EXPECT_EQ(test::perft_count(kiwipete, 3), 97862u);
    // Positions without a king, or with a king in check on the move, count without crashing.
    test::Board kingless("8/8/8/8/8/8/4P3/8 w - -");
    EXPECT_EQ(test::perft_count(kingless, 2), 0u) << "no black moves at all";
}

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

TEST(Board, DisplayLines) {
    test::Board b;
    test::play(b.pos, "e2e4 c7c5");
    std::string text = board_text(b.pos);
    EXPECT_EQ(text.substr(0, text.find('\n')), "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq c6 0 2");
    EXPECT_EQ(text.substr(text.size() - 6), "white\n");
    test::Board start;
    EXPECT_EQ(board_text(start.pos),
              "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0\n"
              "  r n b q k b n r\n"
              "  o o o o o o o o\n"
              "  - + - + - + - +\n"
              "  + - + - + - + -\n"
              "  - + - + - + - +\n"
              "  + - + - + - + -\n"
              "  P P P P P P P P\n"
              "  R N B Q K B N R\n"
              "white\n");
}

} // namespace
} // namespace zelk
