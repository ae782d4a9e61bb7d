// The strength limit: its table from UCI_Elo, the choice of a weaker line,
// and limited searches that repeat for a seed, vary across seeds and never
// leave a piece en prise at 2000 where a safe move exists.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "core/notation.h"
#include "helpers.h"
#include "search/result.h"
#include "search/strength.h"
#include "search_run.h"

namespace zelk {
namespace {

constexpr int TOP = 3000;

int effective_depth(const StrengthLimit& s) { return s.depth == 0 ? 1000 : s.depth; }

TEST(StrengthLimit, MappingIsMonotonicAndInRange) {
    StrengthLimit last = strength_for_elo(500, TOP), last_longer = last;
    ASSERT_TRUE(last.on);
    for (int elo = 500; elo < TOP; elo += 10) {
        const StrengthLimit s = strength_for_elo(elo, TOP);
        ASSERT_TRUE(s.on) << elo;
        EXPECT_GE(effective_depth(s), effective_depth(last)) << elo;
        EXPECT_GE(s.depth, 0) << elo;
        EXPECT_LE(s.margin, last.margin) << elo;
        EXPECT_LE(s.weaker_share, last.weaker_share) << elo;
        EXPECT_GE(s.margin, 0) << elo;
        EXPECT_TRUE(s.weaker_share >= 0 && s.weaker_share < 1000) << elo;
        EXPECT_TRUE(s.lines >= 1 && s.lines <= MAX_CHOICE_LINES) << elo;
        // At a 60+0.6 move (about 2 s) too the levels only grow.
        const StrengthLimit longer = strength_for_elo(elo, TOP, 2.1f);
        EXPECT_GE(effective_depth(longer), effective_depth(last_longer)) << elo;
        EXPECT_LE(longer.margin, last_longer.margin) << elo;
        EXPECT_LE(longer.weaker_share, last_longer.weaker_share) << elo;
        last = s;
        last_longer = longer;
    }
    EXPECT_EQ(strength_for_elo(1500, TOP, 2.1f).depth, strength_for_elo(1500, TOP).depth);
    EXPECT_GT(strength_for_elo(2000, TOP, 2.1f).depth, strength_for_elo(2000, TOP).depth + 1);
    // The sets near the full search stand higher at longer moves: 2500 caps
    // its depth and chooses among more lines.
    const StrengthLimit at2500 = strength_for_elo(2500, TOP), at2500_longer = strength_for_elo(2500, TOP, 2.1f);
    EXPECT_GT(effective_depth(at2500), 40);
    EXPECT_LT(effective_depth(at2500_longer), 20);
    EXPECT_GT(at2500_longer.lines, at2500.lines);
    EXPECT_GT(at2500_longer.weaker_share, at2500.weaker_share);
    EXPECT_EQ(strength_for_elo(2600, TOP).weaker_share, 0);
    EXPECT_GT(strength_for_elo(2600, TOP, 2.1f).weaker_share, 0);
    // Off at the top of the range and above it.
    EXPECT_FALSE(strength_for_elo(TOP, TOP).on);
    EXPECT_FALSE(strength_for_elo(TOP + 500, TOP).on);
    // The -nps scale stays the design's.
    EXPECT_EQ(elo_for_node_rate(1000), 2096);
    EXPECT_EQ(elo_for_node_rate(0), 0);
}

TEST(StrengthLimit, WeakerLinesByShareAndMargin) {
    StrengthLimit s;
    s.on = true;
    s.lines = 4;
    s.margin = 100;
    s.weaker_share = 300;
    const int scores[4] = {50, 20, -40, -200};   // the last is beyond the margin
    int picked[4] = {};
    const int draws = 20000;
    for (int i = 0; i < draws; ++i)
        ++picked[choose_line(scores, 4, s, strength_draw(7, uint64_t(i) * 0x9E3779B97F4A7C15ULL))];
    EXPECT_EQ(picked[3], 0);
    EXPECT_NEAR(double(draws - picked[0]) / draws, 0.3, 0.02);
    // Weights margin - gap + 1: 71 for the second line, 11 for the third.
    EXPECT_NEAR(double(picked[1]) / (picked[1] + picked[2]), 71.0 / 82, 0.03);
    // No other line within the margin, no share, the limit off, or one line: the best.
    const int far[2] = {50, -100};
    StrengthLimit none = s;
    none.weaker_share = 0;
    StrengthLimit off = s;
    off.on = false;
    for (uint32_t d = 0; d < 1000000; d += 997) {
        ASSERT_EQ(choose_line(far, 2, s, d), 0);
        ASSERT_EQ(choose_line(scores, 4, none, d), 0);
        ASSERT_EQ(choose_line(scores, 4, off, d), 0);
        ASSERT_EQ(choose_line(scores, 1, s, d), 0);
    }
}

const char* const POSITIONS[] = {
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -",
    "rnbqkb1r/pp2pppp/3p1n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq -",
    "r2q1rk1/pp2bppp/2n1pn2/3p4/3P4/2NBPN2/PP3PPP/R2Q1RK1 w - -",
    "r1bq1rk1/pp3ppp/2nbpn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ -",
};

// A limited search depends on nothing but the position, the level and the
// seed; across seeds the weaker levels play more than one move somewhere.
TEST(StrengthLimit, RepeatsForASeedAndVariesAcrossSeeds) {
    for (const int elo : {1500, 2000, 2500}) {
        bool varied = false;
        for (const char* fen : POSITIONS) {
            std::set<std::string> moves;
            for (uint64_t seed = 1; seed <= 5; ++seed) {
                const test::SearchOutcome a = test::limited_search(fen, 10, elo, seed);
                const test::SearchOutcome b = test::limited_search(fen, 10, elo, seed);
                ASSERT_EQ(a.move_text, b.move_text) << elo << " " << fen << " seed " << seed;
                ASSERT_EQ(a.nodes, b.nodes) << elo << " " << fen;
                moves.insert(a.move_text);
            }
            varied = varied || moves.size() > 1;
        }
        EXPECT_TRUE(varied || elo > 2000) << "the same move for every seed at " << elo;
    }
}

// The positions' avoided moves all leave a piece en prise, and a limited
// search at 2000 plays none of them, whatever the seed.
TEST(StrengthLimit, NoPieceLeftEnPriseAt2000) {
    std::ifstream in(std::string(ZELK_TEST_DATA) + "/hanging-pieces.epd");
    std::string line, faults;
    int positions = 0;
    while (std::getline(in, line)) {
        const size_t am = line.find(" am ");
        if (line.empty() || line[0] == '#' || am == std::string::npos)
            continue;
        ++positions;
        const std::string fen = line.substr(0, am);
        std::istringstream avoid(line.substr(am + 4, line.find(';', am) - am - 4));
        std::set<Move> bad;
        test::Board board(fen.c_str());
        for (std::string text; avoid >> text;) {
            Move m = NO_MOVE;
            ASSERT_EQ(parse_move(board.pos, text.c_str(), m), 1) << fen << " " << text;
            EXPECT_TRUE(leaves_piece_en_prise(board.pos, m)) << fen << " " << text;
            bad.insert(m);
        }
        for (uint64_t seed = 1; seed <= 4; ++seed) {
            const test::SearchOutcome o = test::limited_search(fen, 12, 2000, seed);
            if (bad.count(o.move))
                faults += fen + " seed " + std::to_string(seed) + ": " + o.move_text + "\n";
        }
    }
    EXPECT_EQ(positions, 40);
    EXPECT_EQ(faults, "");
}

} // namespace
} // namespace zelk
