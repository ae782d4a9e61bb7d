// Search behaviour beyond the bench total: tactics a fixed-depth search
// solves today, the nodes it needs on a few positions, mate distances and
// repetitions.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/notation.h"
#include "helpers.h"
#include "node_counts.h"
#include "search/search.h"
#include "search/thread.h"
#include "search_run.h"

namespace zelk {
namespace {

// The selective search may miss a quiet positional point at depth 12, but
// not a sacrifice with check: a pruning rule that drops checks or
// sacrifices misses many more than four.
TEST(Tactics, SolvedAtAFixedDepth) {
    std::ifstream in(std::string(ZELK_TEST_DATA) + "/tactics-wac.epd");
    std::string line, missed;
    int positions = 0, missed_count = 0;
    // "FEN bm SAN [SAN ...]; id "..."; " lines; '#' starts a comment line.
    while (std::getline(in, line)) {
        const size_t bm = line.find(" bm "), id = line.find("id \"");
        if (line.empty() || line[0] == '#' || bm == std::string::npos || id == std::string::npos)
            continue;
        ++positions;
        const std::string fen = line.substr(0, bm), name = line.substr(id + 4, line.find('"', id + 4) - id - 4);
        const test::SearchOutcome o = test::fixed_depth_search(fen, 12);
        test::Board board(fen.c_str());
        std::istringstream best(line.substr(bm + 4, line.find(';', bm) - bm - 4));
        bool solved = false;
        for (std::string san; best >> san;) {
            Move m = NO_MOVE;
            ASSERT_EQ(parse_move(board.pos, san.c_str(), m), 1) << name << " " << san;
            solved = solved || m == o.move;
        }
        if (!solved) {
            missed += name + " (played " + o.move_text + ") ";
            ++missed_count;
        }
    }
    ASSERT_EQ(positions, 30);
    EXPECT_LE(missed_count, 4) << "not solved at depth 12: " << missed;
}

TEST(NodeCounts, WithinTheirBand) {
    std::string report, outside;
    for (const test::NodeCount& c : test::NODE_COUNTS) {
        const uint64_t nodes = test::fixed_depth_search(c.fen, c.depth).nodes;
        const double ratio = double(nodes) / double(c.nodes);
        report += std::string("    {\"") + c.name + "\", \"" + c.fen + "\", " + std::to_string(c.depth) + ", " +
                  std::to_string(nodes) + "},\n";
        if (ratio > test::NODE_COUNT_BAND || ratio < 1 / test::NODE_COUNT_BAND)
            outside += std::string(c.name) + ": " + std::to_string(nodes) + " nodes, table " +
                       std::to_string(c.nodes) + "\n";
    }
    EXPECT_EQ(outside, "") << "If the change is intended, the table in tests/search/node_counts.h becomes:\n"
                           << report;
}

// Mate scores count plies from the root; roots without a move answer "null".
TEST(Search, MatesAndRootsWithoutMoves) {
    const struct {
        const char* fen;
        int depth;
        const char* move;
        int score;
    } cases[] = {
        {"6k1/5ppp/8/8/8/8/8/R5K1 w - -", 4, "a1a8", 9998},
        {"r5k1/5ppp/8/8/8/8/1Q6/1R4K1 w - -", 6, "b2b8", 9996},    // Qb8+ Rxb8 Rxb8#
        {"r5rk/5p1p/5R2/4B3/8/8/7P/7K w - -", 8, "f6a6", 9994},    // Ra6+ f6 Bxf6+ Rg7 Rxa8#
        {"R5k1/5ppp/8/8/8/8/8/6K1 b - -", 5, "null", -9999},
        {"7k/5Q2/6K1/8/8/8/8/8 b - -", 5, "null", 0},
    };
    for (const auto& c : cases) {
        const test::SearchOutcome o = test::fixed_depth_search(c.fen, c.depth);
        EXPECT_EQ(o.move_text, c.move) << c.fen;
        EXPECT_EQ(o.score, c.score) << c.fen;
    }
}

// A position repeated inside the search is a draw at once; one seen only
// before the root needs a second earlier occurrence.
TEST(Search, RepetitionsAndTheFiftyMoveRule) {
    test::Board b("7k/8/8/8/8/8/8/K5N1 w - -");
    test::play(b.pos, "a1b1 h8g8 b1a1 g8h8");
    EXPECT_EQ(is_draw(*b.thread, 5), 1) << "the repetition lies within the search";
    EXPECT_EQ(is_draw(*b.thread, 1), 0) << "one earlier occurrence before the root";
    test::play(b.pos, "a1b1 h8g8 b1a1 g8h8");
    EXPECT_EQ(is_draw(*b.thread, 1), 1);
    test::Board fifty("7k/8/8/8/8/8/8/K6R w - -");
    fifty.pos.halfmove = 101;
    EXPECT_EQ(is_draw(*fifty.thread, 3), 1);
}

} // namespace
} // namespace zelk
