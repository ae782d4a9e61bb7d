#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/movegen.h"
#include "core/notation.h"
#include "search/control.h"
#include "helpers.h"

namespace zelk {
namespace {

// Coordinate texts of a generated range, blank-separated.
std::string texts(const Position& pos, const MoveEntry* begin, const MoveEntry* end) {
    std::string s;
    for (const MoveEntry* e = begin; e != end; ++e) {
        char buf[MOVE_TEXT_SIZE];
        move_to_coord(pos, pos.side, e->move, buf);
        if (!s.empty())
            s += ' ';
        s += buf;
    }
    return s;
}

struct GenTest : ::testing::Test {
    MoveEntry list[512];
    void SetUp() override { notation_style.uci = false; }
    void TearDown() override { notation_style.uci = true; }
};

TEST_F(GenTest, StartPositionOrder) {
    test::Board b;
    gen_ply_moves(*b.thread);
    PlyRecord& rec = b.thread->plies[1];
    const MoveEntry* end = rec.list;
    while (end->move != END_OF_LIST)
        ++end;
    EXPECT_EQ(texts(b.pos, rec.list, end),
              "a2a3 b2b3 c2c3 d2d3 e2e3 f2f3 g2g3 h2h3 a2a4 b2b4 c2c4 d2d4 e2e4 f2f4 g2g4 h2h4 "
              "b1a3 b1c3 g1f3 g1h3");
    // The next ply's list starts behind the terminator, the one after one entry further.
    EXPECT_EQ(b.thread->plies[2].list, end + 1);
    EXPECT_EQ(b.thread->plies[3].list, end + 2);
}

TEST_F(GenTest, CaptureOrderWithEnPassant) {
    test::Board b("4k3/8/1n6/2PpP3/8/8/8/4K3 w - d6");
    MoveEntry* end = gen_captures(b.pos, WHITE, list, NO_SQUARE);
    EXPECT_EQ(texts(b.pos, list, end), "c5b6 e5d6 c5d6");
    EXPECT_EQ(list[1].victim, 0);
    EXPECT_EQ(list[0].victim, piece_code(BLACK, KNIGHT));
}

TEST_F(GenTest, Promotions) {
    test::Board b("r3k3/1P6/8/8/8/8/8/4K3 w - -");
    MoveEntry* end = gen_promotions(b.pos, WHITE, 1, list);
    EXPECT_EQ(texts(b.pos, list, end), "b7b8=Q b7b8=N b7b8=B b7b8=R b7a8=Q b7a8=N b7a8=B b7a8=R");
    end = gen_promotions(b.pos, WHITE, 0, list);
    EXPECT_EQ(texts(b.pos, list, end), "b7b8=Q b7a8=Q");
    // The promotion never appears among the captures.
    EXPECT_EQ(gen_captures(b.pos, WHITE, list, NO_SQUARE) - list, 0);
}

TEST_F(GenTest, SeventhRankPushesHaveTheirOwnFamily) {
    test::Board b("4k3/8/3P4/8/8/8/8/4K3 w - -");
    MoveEntry* end = gen_seventh_pushes(b.pos, WHITE, list);
    EXPECT_EQ(texts(b.pos, list, end), "d6d7");
    end = gen_quiets(b.pos, WHITE, list, NO_SQUARE);
    EXPECT_EQ(texts(b.pos, list, end).find("d6d7"), std::string::npos);
    test::Board black("4k3/8/8/8/8/2p5/8/4K3 b - -");
    end = gen_seventh_pushes(black.pos, BLACK, list);
    EXPECT_EQ(texts(black.pos, list, end), "c3c2");
}

TEST_F(GenTest, QuietsInCheckOnlyInterpose) {
    // Rook e8 checks the king on e1; the knight on c3 can block on e2 or e4.
    test::Board b("4r1k1/8/8/8/8/2N5/8/R3K2R w KQ -");
    MoveEntry* end = gen_quiets(b.pos, WHITE, list, 60);
    EXPECT_EQ(texts(b.pos, list, end), "c3e2 c3e4 e1d1 e1f1 e1d2 e1e2 e1f2 e1g1 e1c1");
    EXPECT_EQ(end[-1].victim, 0);
}

TEST_F(GenTest, EnPassantStaysWhenAKnightChecks) {
    test::Board b("4k3/8/8/3pP3/8/5n2/8/4K3 w - d6");
    MoveEntry* end = gen_captures(b.pos, WHITE, list, 21);
    EXPECT_EQ(texts(b.pos, list, end), "e5d6");
}

TEST_F(GenTest, QuietChecksAreDirectOnly) {
    // The rook behind the knight on the e-file gives no discovered checks.
    test::Board b("4k3/8/8/8/4N3/8/8/4R1K1 w - -");
    MoveEntry* end = gen_quiet_checks(b.pos, WHITE, list);
    EXPECT_EQ(texts(b.pos, list, end), "e4d6 e4f6");
    test::Board pawns("8/8/8/3k4/8/2P5/4P3/6K1 w - -");
    end = gen_quiet_checks(pawns.pos, WHITE, list);
    EXPECT_EQ(texts(pawns.pos, list, end), "c3c4 e2e4");
}

TEST_F(GenTest, PickBestTakesEarliestOfEqualScores) {
    MoveEntry l[5] = {{1, 5, 0, 0}, {2, 9, 0, 0}, {3, 9, 0, 0}, {4, 1, 0, 0}, {END_OF_LIST, 0, 0, 0}};
    pick_best(l);
    EXPECT_EQ(l[0].move, 2);
    EXPECT_EQ(l[1].move, 1);
    pick_best(l + 1);
    EXPECT_EQ(l[1].move, 3);
}

} // namespace
} // namespace zelk

namespace zelk {
namespace {

// Every generated move passes the check; random move codes pass it exactly
// when the generators would produce them.
TEST(PseudoLegal, AgreesWithTheGenerators) {
    for (const char* file : {"perft-standard.epd", "perft-chess960.epd"})
        for (const auto& c : test::load_perft_suite(file)) {
            test::Board b(c.fen.c_str());
            gen_ply_moves(*b.thread);
            std::vector<Move> generated;
            for (MoveEntry* e = b.thread->plies[1].list; e->move != END_OF_LIST; ++e)
                generated.push_back(e->move);
            for (Move m : generated)
                EXPECT_EQ(is_pseudo_legal(b.pos, m), 1) << c.fen << " " << m;
            for (uint32_t code = 0; code < 65536; code += 7) {
                const Move m = Move(code);
                const bool listed = std::find(generated.begin(), generated.end(), m) != generated.end();
                ASSERT_EQ(is_pseudo_legal(b.pos, m), listed ? 1 : 0) << c.fen << " " << m;
            }
        }
}

} // namespace
} // namespace zelk
