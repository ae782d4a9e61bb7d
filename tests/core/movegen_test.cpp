// Move generation: the staged generators, the perft suites (which also cover
// the slider attacks) with pseudo-legality, and static exchange evaluation
// (and with it the attacker queries).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/movegen.h"
#include "core/notation.h"
#include "core/see.h"
#include "helpers.h"

namespace zelk {
namespace {

// The search's staged generators where they differ from the full list:
// under-promotions on request only, replies to check, direct checks.
TEST(Generators, StagedFamilies) {
    using Gen = std::function<MoveEntry*(const Position&, MoveEntry*)>;
    const struct {
        const char* fen;
        Gen gen;
        const char* moves;
    } cases[] = {
        {"r3k3/1P6/8/8/8/8/8/4K3 w - -", [](const Position& p, MoveEntry* l) { return gen_promotions(p, WHITE, 1, l); },
         "b7b8q b7b8n b7b8b b7b8r b7a8q b7a8n b7a8b b7a8r"},
        {"r3k3/1P6/8/8/8/8/8/4K3 w - -", [](const Position& p, MoveEntry* l) { return gen_promotions(p, WHITE, 0, l); },
         "b7b8q b7a8q"},
        // Rook e8 checks the king on e1; the knight on c3 can block on e2 or e4.
        {"4r1k1/8/8/8/8/2N5/8/R3K2R w KQ -", [](const Position& p, MoveEntry* l) { return gen_quiets(p, WHITE, l, 60); },
         "c3e2 c3e4 e1d1 e1f1 e1d2 e1e2 e1f2 e1g1 e1c1"},
        {"4k3/8/8/3pP3/8/5n2/8/4K3 w - d6", [](const Position& p, MoveEntry* l) { return gen_captures(p, WHITE, l, 21); },
         "e5d6"},
        // The rook behind the knight on the e-file gives no discovered checks.
        {"4k3/8/8/8/4N3/8/8/4R1K1 w - -", [](const Position& p, MoveEntry* l) { return gen_quiet_checks(p, WHITE, l); },
         "e4d6 e4f6"},
        {"8/8/8/3k4/8/2P5/4P3/6K1 w - -", [](const Position& p, MoveEntry* l) { return gen_quiet_checks(p, WHITE, l); },
         "c3c4 e2e4"},
    };
    for (const auto& c : cases) {
        test::Board b(c.fen);
        MoveEntry list[MAX_MOVES];
        std::string texts;
        for (MoveEntry* e = list, *end = c.gen(b.pos, list); e != end; ++e)
            texts += (texts.empty() ? "" : " ") + test::coord(b.pos, e->move);
        EXPECT_EQ(texts, c.moves) << c.fen;
    }
}

// Every position of both suites up to ZELK_PERFT_DEPTH (4 by default); and
// the pseudo-legality test there: every generated move passes it, random
// move codes pass it exactly when the generators would produce them.
class PerftSuite : public ::testing::TestWithParam<const char*> {};

TEST_P(PerftSuite, CountsAndPseudoLegality) {
    const int max_depth = test::perft_depth(4);
    for (const auto& c : test::load_perft_suite(GetParam())) {
        test::Board b(c.fen.c_str());
        const int depth = std::min<int>(max_depth, int(c.counts.size()));
        for (int d = 1; d <= depth; ++d)
            ASSERT_EQ(test::perft_count(b, d), c.counts[d - 1]) << c.fen << " depth " << d;
        ASSERT_EQ(b.fen(), test::Board(c.fen.c_str()).fen()) << "perft leaves the position as it found it";
        gen_ply_moves(*b.thread);
        std::vector<Move> generated;
        for (MoveEntry* e = b.thread->plies[1].list; e->move != END_OF_LIST; ++e)
            generated.push_back(e->move);
        for (uint32_t code = 0; code < 65536; code += 7) {
            const Move m = Move(code);
            const bool listed = std::find(generated.begin(), generated.end(), m) != generated.end();
            ASSERT_EQ(is_pseudo_legal(b.pos, m), listed ? 1 : 0) << c.fen << " " << m;
        }
        for (Move m : generated)
            ASSERT_EQ(is_pseudo_legal(b.pos, m), 1) << c.fen << " " << m;
    }
}

INSTANTIATE_TEST_SUITE_P(Suites, PerftSuite, ::testing::Values("perft-standard.epd", "perft-chess960.epd"),
                         [](const auto& param_info) { return std::string(param_info.param).find("960") != std::string::npos ? "chess960" : "standard"; });

TEST(Perft, PositionsWithoutAKingCountWithoutCrashing) {
    test::Board kingless("8/8/8/8/8/8/4P3/8 w - -");
    EXPECT_EQ(test::perft_count(kingless, 2), 0u) << "no black moves at all";
}

// Static exchange evaluation on small hand-made positions: the gain of a
// capture sequence on a square, and whether a move loses material.
TEST(See, ExchangesAndMoves) {
    reset_see_values();
    const struct {
        const char* fen;
        int side;
        const char* square;
        int victim, gain;
    } exchanges[] = {
        {"4k3/8/3p4/4p3/8/8/7Q/4K3 w - -", WHITE, "e5", PAWN, 0},      // the queen does not take a defended pawn
        {"4k3/8/3p4/4r3/8/3N4/8/4K3 w - -", WHITE, "e5", ROOK, 200},   // rook for knight
        {"4k3/8/2b5/3p4/8/4N3/8/3RK3 w - -", WHITE, "d5", PAWN, 100},  // NxP, BxN, RxB
        {"4k3/8/2b5/3p4/8/8/3R4/3RK3 w - -", WHITE, "d5", PAWN, 0},    // the second rook cannot save it
        // The king may only take an undefended piece.
        {"8/8/8/4k3/3P4/6K1/8/8 b - -", BLACK, "d4", PAWN, 100},
        {"8/8/8/4k3/3P4/4K3/8/8 b - -", BLACK, "d4", PAWN, 0},
        {"5k2/8/8/8/8/8/8/4KR2 w - -", WHITE, "f8", KING, 9999},
    };
    for (const auto& c : exchanges) {
        test::Board b(c.fen);
        EXPECT_EQ(see(b.pos, c.side, test::square_of(c.square), c.victim, occupancy(b.pos)), c.gain) << c.fen;
    }
    const struct {
        const char* fen;
        const char *from, *to;
        int ok;
    } moves[] = {
        {"4k3/8/3p4/4p3/8/8/8/4RK2 w - -", "e1", "e5", 0},     // rook for a defended pawn
        {"4k3/8/3p4/4n3/3P4/8/8/4K3 w - -", "d4", "e5", 1},    // pawn takes knight
        {"4k3/8/3p4/8/8/8/8/R3K3 w - -", "a1", "a5", 1},       // quiet, nothing attacks a5
        {"4k3/8/1p6/8/8/8/8/R3K3 w - -", "a1", "a5", 0},       // quiet into a pawn's attack
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6", "e5", "d6", 1},      // en passant
        {"4k3/8/8/8/8/2p5/3p4/4K3 w - -", "e1", "d2", 0},      // the king takes a defended pawn
    };
    for (const auto& c : moves) {
        test::Board b(c.fen);
        EXPECT_EQ(see_ok(b.pos, test::move_code(c.from, c.to)), c.ok) << c.fen;
    }
}

} // namespace
} // namespace zelk
