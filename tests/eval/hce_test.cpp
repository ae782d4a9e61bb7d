// The hand-crafted evaluation: early exits, special endgames, scaling,
// contempt, caches, each section's terms as the difference between two
// positions that differ in the term's condition only, and colour symmetry.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "core/makemove.h"
#include "eval/endgames.h"
#include "eval/hce.h"
#include "eval_setup.h"
#include "search/thread.h"

namespace zelk {
namespace {

// Default weights and options for every test, and left so.
class Hce : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval_for_tests(); }
    void TearDown() override { test::default_eval_options(); }
};

using test::eval_fen;

TEST_F(Hce, EarlyExitsAndSpecialEndgames) {
    EXPECT_EQ(eval_fen("8/8/8/3k4/3n4/8/8/3KB3 w - -", WHITE), 0);     // bishop against knight
    EXPECT_EQ(eval_fen("8/8/8/3k4/8/8/8/2NKN3 w - -", WHITE), 0);      // two knights
    EXPECT_NE(eval_fen("8/8/8/3k4/8/8/8/2BKB3 w - -", WHITE), 0);      // two bishops do mate
    EXPECT_EQ(eval_fen("rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQ1BNR w - -", WHITE), 0);   // no kings
    EXPECT_EQ(hce_evaluate(*test::Board().thread, WHITE, 1, 1, 0), -10001);   // in check: placeholder
    // King and pawn: distances plus 800 for a table win. b7, kings h8 and h1:
    // 7 + 4 * 6 - 6 + 800, the same for Black's view negated.
    EXPECT_EQ(eval_fen("7K/1P6/8/8/8/8/8/7k w - -", BLACK), -825);
    // A rook pawn the defending king stops: no bonus. 0 + 4 * 5 - 7.
    EXPECT_EQ(eval_fen("k7/8/P7/8/8/8/8/7K w - -", WHITE), 13);
    // Rook against bare king: 500 + 2 * (edge 60 + 100 - 8 * distance 7), and
    // no danger left over in the ply record.
    test::Board krk("7k/8/8/8/8/8/8/KR6 w - -");
    krk.thread->plies[3].threat[WHITE] = krk.thread->plies[3].threat[BLACK] = 500;
    EXPECT_EQ(evaluate(*krk.thread, BLACK, 3, 0, 0), -708);
    EXPECT_EQ(krk.thread->plies[3].threat[WHITE] | krk.thread->plies[3].threat[BLACK], 0);
    // Bishop and knight: the dark bishop drives the king to a1 or h8.
    // Black king a1 (corner 9), White king c3 (centre 2), distance 2.
    EXPECT_EQ(eval_fen("8/8/8/8/8/2K5/8/k1B1N3 w - -", WHITE), 16 * 9 + 8 * 2 + 700 - 16);
    // A light bishop mirrors the corner table: a1 counts as h1 (corner 2).
    EXPECT_EQ(eval_fen("8/8/8/8/8/2K5/8/k2BN3 w - -", WHITE), 16 * 2 + 8 * 2 + 700 - 16);
}

TEST_F(Hce, ScaleFactor) {
    struct Case {
        const char* fen;
        int s;          // sign of the blended score: who is ahead
        float sf;
    };
    const Case cases[] = {
        {"1k6/8/8/8/8/8/P7/K1B5 w - -", 100, 0.05f},   // wrong rook pawn, dark bishop
        {"1k6/8/8/8/8/8/P7/K2B4 w - -", 100, 1.0f},    // light bishop covers a8
        {"6k1/8/8/8/8/8/7p/2b3K1 b - -", -100, 0.05f}, // Black's h-pawn, dark bishop, king near h1
        {"4k3/8/8/8/8/8/8/R2bK3 w - -", 100, 0.135f},  // rook against bishop, no pawns
        {"4k3/8/8/8/8/8/8/R2bK3 w - -", -100, 0.121f}, // Black ahead without pawns: 0.1 + 0.007 * 3
        {"4k3/8/8/8/8/8/8/1BBnK3 w - -", 100, 0.75f},  // two bishops against a knight
        {"4k3/5pp1/8/8/8/8/PP1P4/2B1Kb2 w - -", 100, 0.6f},   // opposite bishops
        {"4k3/5pp1/8/8/8/8/PP1P4/R1B1Kbr1 w - -", 100, 0.9f}, // ... with rooks
        // One pawn up with opposite bishops, the pawn held by the king: 0.6 * 0.6 * 0.75.
        {"4k3/5p2/8/8/8/8/3P4/2B1Kb2 w - -", 100, 0.27f},
        // Rook and pawn against rook, the pawn held in front of the king: 0.8 * 0.75.
        {"7r/8/4k3/8/4P3/8/8/3R2K1 w - -", 100, 0.6f},
        // A lone queen with pawns against rook and bishop.
        {"4k3/8/8/8/8/2rb4/PP6/3QK3 w - -", 100, 0.8f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(scale_factor(test::Board(c.fen).pos, c.s), c.sf, 1e-6) << c.fen;
    // Through the whole evaluation, and printed by the trace.
    test::Board b(cases[0].fen);
    ::testing::internal::CaptureStdout();
    hce_evaluate(*b.thread, b.pos.side, 1, 0, 1);
    std::fflush(stdout);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("sf= 0.05"), std::string::npos);
}

TEST_F(Hce, ContemptAndFiftyMoveDamping) {
    EXPECT_EQ(eval_fen(START_FEN, WHITE), 26);         // the side-to-move bonus alone
    eval_settings.contempt_base = 15;
    EXPECT_EQ(eval_fen(START_FEN, WHITE), 26 + 15);
    EXPECT_EQ(eval_fen(START_FEN, BLACK), -26 - 15);
    eval_settings.root_side = BLACK;
    EXPECT_EQ(eval_fen(START_FEN, BLACK), -26 + 15);
    eval_settings.root_side = WHITE;
    EXPECT_EQ(eval_fen("8/8/8/3k4/8/8/8/3K4 w - -", WHITE), -15);   // bare kings turn it against us
    eval_settings.Contempt = 82;
    EXPECT_EQ(eval_fen(START_FEN, WHITE), 26 + 15 + 82);
    eval_settings.target_time = 90000;
    EXPECT_EQ(eval_fen(START_FEN, WHITE), 26);
    test::default_eval_options();
    // 26 at halfmove clock 100 keeps 26 - 2600 / 256 = 16.
    test::Board b(START_FEN);
    b.pos.halfmove = 100;
    EXPECT_EQ(evaluate(*b.thread, WHITE, 1, 0, 0), 16);
}

TEST_F(Hce, CachesHitBelowTheRootOnly) {
    test::Board b("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    SearchThread& t = *b.thread;
    const int first = evaluate(t, WHITE, 1, 0, 0);
    EXPECT_EQ(t.eval_hits, 0u);
    EXPECT_EQ(evaluate(t, WHITE, 1, 0, 0), first);    // ply 1 recomputes
    EXPECT_EQ(t.eval_hits, 0u);
    EXPECT_EQ(t.pawn_hits, 0u);
    t.plies[2].threat[WHITE] = t.plies[2].threat[BLACK] = -1;
    EXPECT_EQ(evaluate(t, WHITE, 2, 0, 0), first);
    EXPECT_EQ(t.eval_hits, 1u);
    EXPECT_EQ(t.plies[2].threat[WHITE], t.plies[1].threat[WHITE]);   // danger copied from the entry
    EXPECT_EQ(evaluate(t, BLACK, 2, 0, 0), -first);   // the other colour's entry is separate
    EXPECT_EQ(t.eval_hits, 1u);
    EXPECT_EQ(t.pawn_hits, 1u);
    EXPECT_EQ(t.evals, 4u);
    EXPECT_EQ(t.pawn_probes, 3u);
}

const EvalHandles& w = eval_weights;
ScorePair pst(int table, const char* square) { return w.pst[table][test::square_of(square)]->value; }

// Evaluates for the side to move at ply 1 and keeps the board for inspection.
struct Evaluated {
    test::Board board;
    explicit Evaluated(const char* fen) : board(fen) { hce_evaluate(*board.thread, board.pos.side, 1, 0, 0); }
    const EvalContext& ec() const { return board.thread->eval_context; }
};

ScorePair section(const char* fen, EvalSection s, int colour) { return Evaluated(fen).ec().section[s][colour]; }

// Each term as the difference between a position that meets its condition and
// one that does not (none: the section itself).
TEST_F(Hce, SectionTerms) {
    const struct {
        const char* fen;
        const char* without;
        EvalSection s;
        int colour;
        ScorePair want;
    } cases[] = {
        // A black rook on a4 blocks a3 (a3 standing on a2 blocks nothing).
        {"6k1/8/8/8/r7/P7/PP6/6K1 w - -", "6k1/8/8/8/8/P7/PP6/6K1 w - -", SEC_PAWNS, WHITE, w.pawn_blocked->value},
        // Doubled and isolated h-pawns for Black; black squares are read rank-mirrored.
        {"6k1/7p/7p/8/8/8/8/6K1 b - -", nullptr, SEC_PAWNS, BLACK,
         2 * w.mtl_pawn->value + pst(PST_P1, "h2") + pst(PST_P1, "h3") + 2 * w.pawn_isolated->value + w.pawn_doubled->value},
        // Rook on the seventh: only with the enemy king on the seventh or eighth rank
        // (the black pawn keeps these out of the rook-against-bare-king ending).
        {"6k1/7R/8/1p6/8/8/8/6K1 w - -", "8/7R/6k1/1p6/8/8/8/6K1 w - -", SEC_ROOKS, WHITE, w.rook_7th->value},
        // Queens are transparent for rooks: the a1 rook reaches a5-a8 through its queen.
        {"6k1/8/8/7p/8/Q7/8/R5K1 w - -", "6k1/8/8/7p/8/8/8/R5K1 w - -", SEC_ROOKS, WHITE, 0},
        // An enemy pawn on the file removes the open-file bonus (and a7 stops the reach).
        {"6k1/8/8/7p/8/8/8/R5K1 w - -", "6k1/p7/8/7p/8/8/8/R5K1 w - -", SEC_ROOKS, WHITE,
         w.rook_openfile->value + w.rook_mob2->value},
        // A gap in the shield; against a rook and a knight (8 units) the shield is not looked at.
        {"q1k5/pp6/8/8/8/8/5P1P/6K1 w - -", "q1k5/pp6/8/8/8/8/5PPP/6K1 w - -", SEC_KING, WHITE,
         scaled(float(6 - 9) * 0.111f, w.pawn_shield)},
        {"r1k5/pp6/8/8/8/8/5P1P/n5K1 w - -", "q1k5/pp6/8/8/8/8/5PPP/6K1 w - -", SEC_KING, WHITE, 0},
        // Doubled passed pawns: only the front one counts (the knight keeps out the KPK ending).
        {"6k1/8/8/7n/P7/8/P7/6K1 w - -", "6k1/8/8/7n/P7/8/8/6K1 w - -", SEC_PPAWNS, WHITE, 0},
        // A knight attacked by a pawn is hung even when a pawn defends it
        // (f2 keeps the e5 pawn from being passed, which would add to White's danger).
        {"6k1/8/8/4p3/3N4/2P5/5P2/6K1 w - -", nullptr, SEC_THREATS, WHITE, w.hung_minor->value},
        // A rook attacked by a knight is hung whatever defends it.
        {"6k1/8/8/8/2n5/8/3R4/4K3 w - -", nullptr, SEC_THREATS, WHITE, w.hung_major->value},
        // A pawn attacked by a rook hangs undefended; defended by the king it is only attacked.
        {"6k1/8/8/8/8/8/r3P3/6K1 w - -", nullptr, SEC_THREATS, WHITE, w.hung_pawn->value},
        {"6k1/8/8/8/8/8/r6P/6K1 w - -", nullptr, SEC_THREATS, WHITE, w.attacked_pawn->value},
        // A pawn push that would hit the knight; the black pawn is hung to the knight.
        {"6k1/2p5/8/3N4/8/8/8/6K1 w - -", nullptr, SEC_THREATS, WHITE, w.ppush_threat->value},
        {"6k1/2p5/8/3N4/8/8/8/6K1 w - -", nullptr, SEC_THREATS, BLACK, w.hung_pawn->value},
        // e4-e3 (covered by f4) would check the king on f2, which counts as a target.
        {"6k1/8/8/8/4pp2/8/5K2/8 w - -", nullptr, SEC_THREATS, WHITE, w.ppush_threat->value},
        {"6k1/8/8/8/4pp2/8/8/7K w - -", nullptr, SEC_THREATS, WHITE, 0},
        // A knight pinned against its king by a rook (and attacked by it, defended by the king).
        {"4r1k1/8/8/8/8/8/4N3/4K3 w - -", nullptr, SEC_THREATS, WHITE, w.pinned_piece->value + w.attacked_minor->value},
    };
    for (const auto& c : cases) {
        const ScorePair base = c.without ? section(c.without, c.s, c.colour) : 0;
        EXPECT_EQ(section(c.fen, c.s, c.colour) - base, c.want) << c.fen << " section " << int(c.s);
    }
    EXPECT_NE(section("6k1/8/8/7n/P7/8/8/6K1 w - -", SEC_PPAWNS, WHITE), 0);
    EXPECT_TRUE(Evaluated("6k1/8/8/7n/8/8/P7/6K1 w - -").ec().free_pawns & bit(test::square_of("a2")));
    EXPECT_EQ(Evaluated("6k1/8/8/4p3/3N4/2P5/5P2/6K1 w - -").ec().hung, bit(test::square_of("d4")));
}

// The danger values, which reach the ply record for the search.
TEST_F(Hce, Danger) {
    const struct {
        const char* fen;
        int colour, danger;
    } cases[] = {
        {"6k1/8/8/8/5n2/7q/5P1P/6K1 w - -", WHITE, 800},    // a queen contact check with a second attacker
        {"6k1/8/8/8/8/7q/5P1P/6K1 w - -", WHITE, 0},        // without one
        {"8/P7/8/7n/8/8/2k5/6K1 w - -", BLACK, 1200},       // a passed pawn on the seventh
        {"N7/P7/8/7n/8/8/2k5/6K1 w - -", BLACK, 300},       // blocked by a knight of either colour: a quarter
        {"n7/P7/8/8/8/8/2k5/6K1 w - -", BLACK, 300},
        {"6k1/8/8/4p3/3N4/2P5/5P2/6K1 w - -", WHITE, 256},  // a hung minor
        {"6k1/8/8/8/2n5/8/3R4/4K3 w - -", WHITE, 256},      // a hung major
        {"6k1/8/8/8/8/8/r3P3/6K1 w - -", WHITE, 64},        // a hung pawn
    };
    for (const auto& c : cases) {
        Evaluated e(c.fen);
        EXPECT_EQ(e.ec().danger[c.colour], c.danger) << c.fen;
        EXPECT_EQ(e.board.thread->plies[1].threat[c.colour], c.danger) << c.fen;
    }
}

// With the bonus switched off, only the real pair (c1 dark, d1 light) loses it.
TEST_F(Hce, SectionBishopPairNeedsBothSquareColours) {
    const char* same_colour = "6k1/8/8/8/8/8/8/2B1BK2 w - -";
    const char* pair = "6k1/8/8/8/8/8/8/2BB1K2 w - -";
    const ScorePair same_with = section(same_colour, SEC_BISHOPS, WHITE), pair_with = section(pair, SEC_BISHOPS, WHITE);
    const ScorePair bonus = w.bishop_pair->value;
    const int16_t off[2] = {0, 0};
    scale_weights("bishop_pair", off);
    EXPECT_EQ(same_with - section(same_colour, SEC_BISHOPS, WHITE), 0);
    EXPECT_EQ(pair_with - section(pair, SEC_BISHOPS, WHITE), bonus);
}

// A position and its colour-flipped twin evaluate alike: the suites, the
// openings and every position one move from them, contempt off.
std::vector<std::string> suite_fens() {
    std::vector<std::string> fens;
    for (const char* suite : {"perft-standard.epd", "perft-chess960.epd"})
        for (const test::PerftCase& c : test::load_perft_suite(suite))
            fens.push_back(c.fen);
    std::ifstream in(std::string(ZELK_TEST_DATA) + "/openings.epd");
    for (std::string line; std::getline(in, line);)
        fens.push_back(line);
    return fens;
}

TEST_F(Hce, PositionAndColourFlippedTwinEvaluateAlike) {
    const std::vector<std::string> fens = suite_fens();
    ASSERT_GT(fens.size(), 400u);
    test::Board b, x, y;     // reused: a thread record is large
    int compared = 0;
    for (const std::string& fen : fens) {
        pos_from_fen(b.pos, fen.c_str());
        std::vector<std::string> family{fen};
        for (Move m : test::legal_moves(b.pos)) {
            make_move(b.pos, m);
            family.push_back(b.fen());
            unmake_move(b.pos);
        }
        for (const std::string& f : family) {
            pos_from_fen(x.pos, f.c_str());
            pos_from_fen(y.pos, test::flip_fen(f).c_str());
            // Ply 1: nothing cached is reused, so the two are computed afresh.
            const int ex = evaluate(*x.thread, x.pos.side, 1, 0, 0);
            const int ey = evaluate(*y.thread, y.pos.side, 1, 0, 0);
            ASSERT_EQ(ex, ey) << f << "  vs  " << test::flip_fen(f);
            ASSERT_EQ(x.thread->plies[1].threat[WHITE], y.thread->plies[1].threat[BLACK]) << f;
            ASSERT_EQ(x.thread->plies[1].threat[BLACK], y.thread->plies[1].threat[WHITE]) << f;
            // The other side's view is the negation (contempt off).
            ASSERT_EQ(evaluate(*x.thread, x.pos.side ^ 1, 1, 0, 0), -ex) << f;
            ++compared;
        }
    }
    EXPECT_GT(compared, 10000);
}

} // namespace
} // namespace zelk
