// The evaluation entry and the hand-crafted frame: early exits and special
// endgames, endgame scaling, contempt and fifty-move damping, the caches,
// and the printed breakdown.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "eval/endgames.h"
#include "eval/evaluate.h"
#include "eval/hce.h"
#include "eval/weights.h"
#include "eval_setup.h"
#include "search/timeman.h"
#include "helpers.h"
#include "search/thread.h"

namespace zelk {
namespace {

class Frame : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval_for_tests(); }
    void TearDown() override { test::default_eval_options(); }
};

int eval_at(const char* fen, int side, int ply = 1) {
    test::Board b(fen);
    return evaluate(*b.thread, side, ply, 0, 0);
}

std::string traced(const char* fen, int level) {
    test::Board b(fen);
    ::testing::internal::CaptureStdout();
    hce_evaluate(*b.thread, b.pos.side, 1, 0, level);
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

TEST_F(Frame, EarlyExitsAndSpecialEndgames) {
    EXPECT_EQ(eval_at("8/8/8/3k4/8/8/8/3K4 w - -", WHITE), 0);
    EXPECT_EQ(eval_at("8/8/8/3k4/3n4/8/8/3KB3 w - -", WHITE), 0);     // bishop against knight
    EXPECT_EQ(eval_at("8/8/8/3k4/8/8/8/2NKN3 w - -", WHITE), 0);      // two knights
    EXPECT_NE(eval_at("8/8/8/3k4/8/8/8/2BKB3 w - -", WHITE), 0);      // two bishops do mate
    EXPECT_EQ(eval_at("rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQ1BNR w - -", WHITE), 0);   // no kings
    {
        test::Board b(START_FEN);
        EXPECT_EQ(hce_evaluate(*b.thread, WHITE, 1, 1, 0), -10001);    // in check: placeholder
    }
    // King and pawn: distances plus 800 for a table win. b7, kings h8 and h1:
    // 7 + 4 * 6 - 6 + 800, the same for Black's view negated.
    EXPECT_EQ(eval_at("7K/1P6/8/8/8/8/8/7k w - -", WHITE), 825);
    EXPECT_EQ(eval_at("7K/1P6/8/8/8/8/8/7k w - -", BLACK), -825);
    // A rook pawn the defending king stops: no bonus. 0 + 4 * 5 - 7.
    EXPECT_EQ(eval_at("k7/8/P7/8/8/8/8/7K w - -", WHITE), 13);
    // Rook against bare king: 500 + 2 * (edge 60 + 100 - 8 * distance 7).
    EXPECT_EQ(eval_at("7k/8/8/8/8/8/8/KR6 w - -", WHITE), 708);
    EXPECT_EQ(eval_at("7k/8/8/8/8/8/8/KR6 w - -", BLACK), -708);
    {
        test::Board b("7k/8/8/8/8/8/8/KR6 w - -");
        b.thread->plies[3].threat[WHITE] = b.thread->plies[3].threat[BLACK] = 500;
        evaluate(*b.thread, WHITE, 3, 0, 0);
        EXPECT_EQ(b.thread->plies[3].threat[WHITE] | b.thread->plies[3].threat[BLACK], 0);
    }
    // Bishop and knight: the dark bishop drives the king to a1 or h8.
    // Black king a1 (corner 9), White king c3 (centre 2), distance 2.
    EXPECT_EQ(eval_at("8/8/8/8/8/2K5/8/k1B1N3 w - -", WHITE), 16 * 9 + 8 * 2 + 700 - 16);
    // A light bishop mirrors the corner table: a1 counts as h1 (corner 2).
    EXPECT_EQ(eval_at("8/8/8/8/8/2K5/8/k2BN3 w - -", WHITE), 16 * 2 + 8 * 2 + 700 - 16);
}

TEST_F(Frame, ScaleFactor) {
    struct Case {
        const char* fen;
        int s;          // sign of the blended score: who is ahead
        float sf;
    };
    const Case cases[] = {
        {"1k6/8/8/8/8/8/P7/K1B5 w - -", 100, 0.05f},   // wrong rook pawn, dark bishop
        {"1k6/8/8/8/8/8/P7/K2B4 w - -", 100, 1.0f},    // light bishop covers a8
        {"6k1/8/8/8/8/8/7p/2b3K1 b - -", -100, 0.05f}, // Black's h-pawn, dark bishop, king near h1
        {"6k1/8/8/8/8/8/7p/3b2K1 b - -", -100, 1.0f},  // a light bishop covers h1
        {"4k3/8/8/8/8/8/8/R2bK3 w - -", 100, 0.135f},  // rook against bishop, no pawns
        {"4k3/8/8/8/8/8/8/R2bK3 w - -", -100, 0.121f}, // Black ahead without pawns: 0.1 + 0.007 * 3
        {"4k3/8/8/8/8/8/8/1BBnK3 w - -", 100, 0.75f},  // two bishops against a knight
        {"4k3/5pp1/8/8/8/8/PP1P4/2B1Kb2 w - -", 100, 0.6f},   // opposite bishops
        {"4k3/5pp1/8/8/8/8/PP1P4/R1B1Kbr1 w - -", 100, 0.9f}, // ... with rooks
        {"4k3/5pp1/8/8/8/8/PP1P4/3BKb2 w - -", 100, 1.0f},    // bishops of one colour
        // One pawn up with opposite bishops, the pawn held by the king: 0.6 * 0.6 * 0.75.
        {"4k3/5p2/8/8/8/8/3P4/2B1Kb2 w - -", 100, 0.27f},
        // Rook and pawn against rook, the pawn held in front of the king: 0.8 * 0.75.
        {"7r/8/4k3/8/4P3/8/8/3R2K1 w - -", 100, 0.6f},
        {"7r/8/8/4P3/8/4k3/8/3R2K1 w - -", 100, 0.8f},     // pawn past the king
        // A lone queen with pawns against rook and bishop.
        {"4k3/8/8/8/8/2rb4/PP6/3QK3 w - -", 100, 0.8f},
        {"4k3/8/8/8/8/2r5/PP6/3QK3 w - -", 100, 1.0f},     // gap over three units
    };
    for (const Case& c : cases) {
        test::Board b(c.fen);
        EXPECT_NEAR(scale_factor(b.pos, c.s), c.sf, 1e-6) << c.fen;
    }
    // Through the whole evaluation, and printed by the trace.
    EXPECT_NE(traced("1k6/8/8/8/8/8/P7/K1B5 w - -", 1).find("sf= 0.05"), std::string::npos);
}

TEST_F(Frame, ContemptAndFiftyMoveDamping) {
    EXPECT_EQ(eval_at(START_FEN, WHITE), 26);         // the side-to-move bonus alone
    eval_settings.contempt_base = 15;
    EXPECT_EQ(eval_at(START_FEN, WHITE), 26 + 15);
    EXPECT_EQ(eval_at(START_FEN, BLACK), -26 - 15);
    eval_settings.root_side = BLACK;
    EXPECT_EQ(eval_at(START_FEN, BLACK), -26 + 15);
    eval_settings.root_side = WHITE;
    EXPECT_EQ(eval_at("8/8/8/3k4/8/8/8/3K4 w - -", WHITE), -15);   // bare kings turn it against us
    eval_settings.Contempt = 82;
    EXPECT_EQ(eval_at(START_FEN, WHITE), 26 + 15 + 82);
    eval_settings.target_time = 90000;
    EXPECT_EQ(eval_at(START_FEN, WHITE), 26);
    test::default_eval_options();
    // 26 at halfmove clock 100 keeps 26 - 2600 / 256 = 16.
    test::Board b(START_FEN);
    b.pos.halfmove = 100;
    EXPECT_EQ(evaluate(*b.thread, WHITE, 1, 0, 0), 16);
}

TEST_F(Frame, CachesHitBelowTheRootOnly) {
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

TEST_F(Frame, TraceLayout) {
    const std::string out = traced("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 1);
    EXPECT_EQ(out.rfind("           white  black    pos    mtl\npawns:     ", 0), 0u) << out;
    EXPECT_NE(out.find("\nspecial:      26      0     26      0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nhung pieces on:  c3 a6\n"), std::string::npos) << out;
    EXPECT_NE(out.find(", phase= 0.00, sf= 1.00, rule50= 0\n\n"), std::string::npos) << out;
    EXPECT_EQ(traced(START_FEN, 2).find("PST_"), std::string::npos);
}

TEST_F(Frame, ShowEvalNamesTheLastMove) {
    test::Board b(START_FEN);
    test::play(b.pos, "e2e4 e7e5 g1f3");
    ::testing::internal::CaptureStdout();
    show_eval(*b.thread);
    std::fflush(stdout);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("last move was 2. g1f3\n           white", 0), 0u) << out;
}

} // namespace
} // namespace zelk
