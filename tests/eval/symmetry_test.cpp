// A position and its colour-flipped twin evaluate alike: the suites, the
// openings and every position one move from them, contempt off.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/makemove.h"
#include "eval/evaluate.h"
#include "eval_setup.h"
#include "helpers.h"
#include "search/thread.h"

namespace zelk {
namespace {

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

class Symmetry : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval_for_tests(); }
};

TEST_F(Symmetry, PositionAndColourFlippedTwinEvaluateAlike) {
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
