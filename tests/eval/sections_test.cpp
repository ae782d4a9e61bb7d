// The hand-crafted sections on small hand-made positions, read from the
// per-section totals the trace prints: pawn structure, pieces, king safety,
// passed pawns and threats.
#include <gtest/gtest.h>

#include "core/types.h"
#include "eval/hce.h"
#include "eval/weights.h"
#include "eval_setup.h"
#include "helpers.h"
#include "search/thread.h"

namespace zelk {
namespace {

int sq(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }

const EvalHandles& w = eval_weights;
ScorePair pst(int table, const char* square) { return w.pst[table][sq(square)]->value; }

// Evaluates for the side to move at ply 1 and keeps the board for inspection.
struct Evaluated {
    test::Board board;
    int score;
    explicit Evaluated(const char* fen) : board(fen) {
        score = hce_evaluate(*board.thread, board.pos.side, 1, 0, 0);
    }
    const EvalContext& ec() const { return board.thread->eval_context; }
    ScorePair section(EvalSection s, int c) const { return ec().section[s][c]; }
    int danger(int c) const { return ec().danger[c]; }
};

class Sections : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval_for_tests(); }
};

// Each term shows as the difference between two positions that differ in
// its condition only, or as a section that stays the same.
TEST_F(Sections, PawnStructure) {
    // A black rook on a4 blocks a3 (a3 standing on a2 blocks nothing).
    EXPECT_EQ(Evaluated("6k1/8/8/8/r7/P7/PP6/6K1 w - -").section(SEC_PAWNS, WHITE) -
                  Evaluated("6k1/8/8/8/8/P7/PP6/6K1 w - -").section(SEC_PAWNS, WHITE),
              w.pawn_blocked->value);
    // Doubled and isolated h-pawns for Black; black squares are read rank-mirrored.
    Evaluated isolated("6k1/7p/7p/8/8/8/8/6K1 b - -");
    EXPECT_EQ(isolated.section(SEC_PAWNS, BLACK), 2 * w.mtl_pawn->value + pst(PST_P1, "h2") + pst(PST_P1, "h3") +
                                                      2 * w.pawn_isolated->value + w.pawn_doubled->value);
}

TEST_F(Sections, Outposts) {
    // Knight on d5, an outpost: defended by e4 it earns the full bonus, else 0.4 of it.
    Evaluated defended("6k1/8/8/3N4/4P3/8/8/6K1 w - -");
    Evaluated alone("6k1/8/8/3N4/7P/8/8/6K1 w - -");
    EXPECT_EQ(defended.section(SEC_KNIGHTS, WHITE) - alone.section(SEC_KNIGHTS, WHITE),
              make_score(39 - 15, 10 - 4));
    // A black pawn on c6 covers d5 and every square below it: no outpost.
    Evaluated spoiled("6k1/8/2p5/3N4/4P3/8/8/6K1 w - -");
    EXPECT_EQ(defended.section(SEC_KNIGHTS, WHITE) - spoiled.section(SEC_KNIGHTS, WHITE), make_score(39, 10));
}

TEST_F(Sections, Rooks) {
    // Rook on the seventh: only with the enemy king on the seventh or eighth rank.
    // (A black pawn keeps these out of the rook-against-bare-king ending.)
    EXPECT_EQ(Evaluated("6k1/7R/8/1p6/8/8/8/6K1 w - -").section(SEC_ROOKS, WHITE) -
                  Evaluated("8/7R/6k1/1p6/8/8/8/6K1 w - -").section(SEC_ROOKS, WHITE),
              w.rook_7th->value);
    // Queens are transparent for rooks: the a1 rook reaches a5-a8 through its queen.
    Evaluated alone("6k1/8/8/7p/8/8/8/R5K1 w - -");
    EXPECT_EQ(Evaluated("6k1/8/8/7p/8/Q7/8/R5K1 w - -").section(SEC_ROOKS, WHITE), alone.section(SEC_ROOKS, WHITE));
    // An enemy pawn on the file removes the open-file bonus (and a7 stops the reach).
    EXPECT_EQ(alone.section(SEC_ROOKS, WHITE) - Evaluated("6k1/p7/8/7p/8/8/8/R5K1 w - -").section(SEC_ROOKS, WHITE),
              w.rook_openfile->value + w.rook_mob2->value);
}

// With the bonus switched off, only the real pair (c1 dark, d1 light) loses it.
TEST_F(Sections, BishopPairNeedsBothSquareColours) {
    const char* same_colour = "6k1/8/8/8/8/8/8/2B1BK2 w - -";
    const char* pair = "6k1/8/8/8/8/8/8/2BB1K2 w - -";
    const ScorePair same_with = Evaluated(same_colour).section(SEC_BISHOPS, WHITE);
    const ScorePair pair_with = Evaluated(pair).section(SEC_BISHOPS, WHITE), bonus = w.bishop_pair->value;
    const int16_t off[2] = {0, 0};
    scale_weights("bishop_pair", off);
    EXPECT_EQ(same_with - Evaluated(same_colour).section(SEC_BISHOPS, WHITE), 0);
    EXPECT_EQ(pair_with - Evaluated(pair).section(SEC_BISHOPS, WHITE), bonus);
}

TEST_F(Sections, KingSafety) {
    // Queen and two pawns for Black, boxed in so that nothing reaches the White king.
    Evaluated full("q1k5/pp6/8/8/8/8/5PPP/6K1 w - -");
    Evaluated gap("q1k5/pp6/8/8/8/8/5P1P/6K1 w - -");
    EXPECT_EQ(gap.section(SEC_KING, WHITE) - full.section(SEC_KING, WHITE),
              scaled(float(6 - 9) * 0.111f, w.pawn_shield));
    // Against a rook and a knight (8 units) the shield is not looked at.
    EXPECT_EQ(Evaluated("r1k5/pp6/8/8/8/8/5P1P/n5K1 w - -").section(SEC_KING, WHITE), full.section(SEC_KING, WHITE));
    // A queen contact check needs a second attacker; the danger reaches the ply record.
    Evaluated supported("6k1/8/8/8/5n2/7q/5P1P/6K1 w - -");
    EXPECT_EQ(supported.danger(WHITE), 800);
    EXPECT_EQ(supported.board.thread->plies[1].threat[WHITE], 800);
    EXPECT_EQ(Evaluated("6k1/8/8/8/8/7q/5P1P/6K1 w - -").danger(WHITE), 0);
}

TEST_F(Sections, PassedPawns) {
    // Doubled passed pawns: only the front one counts.
    // (A black knight on h5 keeps these out of the king-pawn-king ending.)
    Evaluated single("6k1/8/8/7n/P7/8/8/6K1 w - -");
    EXPECT_NE(single.section(SEC_PPAWNS, WHITE), 0);
    EXPECT_EQ(Evaluated("6k1/8/8/7n/P7/8/P7/6K1 w - -").section(SEC_PPAWNS, WHITE), single.section(SEC_PPAWNS, WHITE));
    EXPECT_TRUE(Evaluated("6k1/8/8/7n/8/8/P7/6K1 w - -").ec().free_pawns & bit(sq("a2")));
    // On the seventh; blocked by a knight of either colour: a quarter of the danger.
    EXPECT_EQ(Evaluated("8/P7/8/7n/8/8/2k5/6K1 w - -").danger(BLACK), 1200);
    EXPECT_EQ(Evaluated("N7/P7/8/7n/8/8/2k5/6K1 w - -").danger(BLACK), 300);
    EXPECT_EQ(Evaluated("n7/P7/8/8/8/8/2k5/6K1 w - -").danger(BLACK), 300);
}

TEST_F(Sections, Threats) {
    // A knight attacked by a pawn is hung even when a pawn defends it.
    // (f2 keeps the e5 pawn from being passed, which would add to White's danger.)
    Evaluated knight("6k1/8/8/4p3/3N4/2P5/5P2/6K1 w - -");
    EXPECT_EQ(knight.section(SEC_THREATS, WHITE), w.hung_minor->value);
    EXPECT_EQ(knight.danger(WHITE), 256);
    EXPECT_EQ(knight.ec().hung, bit(sq("d4")));
    // A rook attacked by a knight is hung whatever defends it.
    Evaluated rook("6k1/8/8/8/2n5/8/3R4/4K3 w - -");
    EXPECT_EQ(rook.section(SEC_THREATS, WHITE), w.hung_major->value);
    EXPECT_EQ(rook.danger(WHITE), 256);
    // An undefended pawn attacked by a rook hangs; defended, it is only attacked.
    Evaluated pawn("6k1/8/8/8/8/8/r6P/6K1 w - -");
    EXPECT_EQ(pawn.section(SEC_THREATS, WHITE), w.attacked_pawn->value);   // the king guards h2
    Evaluated loose("6k1/8/8/8/8/8/r3P3/6K1 w - -");
    EXPECT_EQ(loose.section(SEC_THREATS, WHITE), w.hung_pawn->value);
    EXPECT_EQ(loose.danger(WHITE), 64);
    // A pawn push that would hit the knight; the black pawn is hung to the knight.
    Evaluated push("6k1/2p5/8/3N4/8/8/8/6K1 w - -");
    EXPECT_EQ(push.section(SEC_THREATS, WHITE), w.ppush_threat->value);
    EXPECT_EQ(push.section(SEC_THREATS, BLACK), w.hung_pawn->value);
    // A push that would check counts the king as a target.
    // e4-e3 (covered by f4) would hit the king on f2.
    Evaluated check("6k1/8/8/8/4pp2/8/5K2/8 w - -");
    Evaluated no_check("6k1/8/8/8/4pp2/8/8/7K w - -");
    EXPECT_EQ(check.section(SEC_THREATS, WHITE), w.ppush_threat->value);
    EXPECT_EQ(no_check.section(SEC_THREATS, WHITE), 0);
    // A knight pinned against its king by a rook (and attacked by it, defended by the king).
    Evaluated pin("4r1k1/8/8/8/8/8/4N3/4K3 w - -");
    EXPECT_EQ(pin.section(SEC_THREATS, WHITE), w.pinned_piece->value + w.attacked_minor->value);
}

} // namespace
} // namespace zelk
