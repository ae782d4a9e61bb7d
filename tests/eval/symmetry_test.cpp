// Colour-flip symmetry: a position and its twin with the board mirrored
// top to bottom, colours and the side to move swapped, evaluate alike.
// Run over the perft suites and the openings, and every position one legal
// move away from them, with contempt off.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/makemove.h"
#include "eval/evaluate.h"
#include "eval/hce.h"
#include "eval_setup.h"
#include "helpers.h"
#include "search/thread.h"

namespace zelk {
namespace {

// The FEN of the colour-flipped twin (castling letters and en passant mirrored).
std::string flip_fen(const std::string& fen) {
    std::istringstream in(fen);
    std::string board, side, castling = "-", ep = "-";
    in >> board >> side >> castling >> ep;
    std::vector<std::string> ranks;
    std::stringstream rows(board);
    for (std::string r; std::getline(rows, r, '/');)
        ranks.push_back(r);
    std::string flipped;
    for (size_t i = ranks.size(); i-- > 0;) {
        for (char ch : ranks[i])
            flipped += std::isalpha(static_cast<unsigned char>(ch))
                           ? char(std::isupper(static_cast<unsigned char>(ch)) ? std::tolower(ch) : std::toupper(ch))
                           : ch;
        if (i)
            flipped += '/';
    }
    std::string castle_flipped;
    for (char ch : castling)
        castle_flipped += ch == '-' ? ch : char(std::isupper(static_cast<unsigned char>(ch)) ? std::tolower(ch)
                                                                                               : std::toupper(ch));
    if (ep != "-")
        ep[1] = char('1' + ('8' - ep[1]));
    return flipped + (side == "w" ? " b " : " w ") + castle_flipped + " " + ep;
}

std::vector<std::string> suite_fens() {
    std::vector<std::string> fens;
    for (const char* file : {"perft-standard.epd", "perft-chess960.epd", "openings.epd"}) {
        std::ifstream in(std::string(ZELK_TEST_DATA) + "/" + file);
        EXPECT_TRUE(in.good()) << file;
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string a, b, c, d;
            if (fields >> a >> b >> c >> d)
                fens.push_back(a + " " + b + " " + c + " " + d);
        }
    }
    return fens;
}

class Symmetry : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval_for_tests(); }
};

TEST(SymmetryHelper, FlipsEveryField) {
    EXPECT_EQ(flip_fen("r3k2r/8/8/3pP3/8/8/8/R3K2R w Kq d6"), "r3k2r/8/8/8/3Pp3/8/8/R3K2R b kQ d3");
    EXPECT_EQ(flip_fen("rk6/8/8/8/8/8/8/1K5R b HA -"), "1k5r/8/8/8/8/8/8/RK6 w ha -");
}

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
            pos_from_fen(y.pos, flip_fen(f).c_str());
            // Ply 1: nothing cached is reused, so the two are computed afresh.
            const int ex = evaluate(*x.thread, x.pos.side, 1, 0, 0);
            const int ey = evaluate(*y.thread, y.pos.side, 1, 0, 0);
            ASSERT_EQ(ex, ey) << f << "  vs  " << flip_fen(f);
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
