#include <gtest/gtest.h>

#include <string>

#include "core/makemove.h"
#include "core/notation.h"
#include "search/control.h"
#include "engine/options.h"
#include "helpers.h"

namespace zelk {
namespace {

int sq(const char* n) { return make_square(n[0] - 'a', n[1] - '1'); }
Move mv(const char* from, const char* to, uint16_t flags = 0) { return make_move_code(sq(from), sq(to), flags); }

struct Forms {
    std::string f[4];
};
Forms forms(const Position& pos, Move m) {
    char a[MOVE_TEXT_SIZE], b[MOVE_TEXT_SIZE], c[MOVE_TEXT_SIZE], d[MOVE_TEXT_SIZE];
    move_to_texts(pos, m, a, b, c, d);
    return {{a, b, c, d}};
}

struct NotationTest : ::testing::Test {
    void TearDown() override {
        notation_style.uci = true;
        notation_style.chess960 = 0;
    }
};

TEST_F(NotationTest, WriterForms) {
    notation_style.uci = false;
    test::Board knights("4k3/8/8/8/8/8/8/1N2KN2 w - -");
    Forms a = forms(knights.pos, mv("b1", "d2")), b = forms(knights.pos, mv("f1", "d2"));
    EXPECT_EQ(a.f[1], "Nbd2");
    EXPECT_EQ(b.f[1], "Nfd2");
    EXPECT_EQ(a.f[3], "N1d2");
    EXPECT_EQ(b.f[3], "N1d2");
    EXPECT_EQ(a.f[2], "Nbd2");

    test::Board same_file("4k3/8/8/8/8/1N6/8/1N2K3 w - -");
    EXPECT_EQ(forms(same_file.pos, mv("b1", "d2")).f[1], "N1d2");
    EXPECT_EQ(forms(same_file.pos, mv("b3", "d2")).f[1], "N3d2");

    test::Board queens("4k3/8/8/8/8/Q7/8/Q1Q1K3 w - -");
    EXPECT_EQ(forms(queens.pos, mv("a1", "b2")).f[1], "Q1b2");
    EXPECT_EQ(forms(queens.pos, mv("a3", "b2")).f[1], "Q3b2");
    EXPECT_EQ(forms(queens.pos, mv("c1", "b2")).f[1], "Qcb2");

    test::Board pawn("4k3/8/8/8/8/7p/6P1/4K3 w - -");
    Forms p = forms(pawn.pos, mv("g2", "h3"));
    EXPECT_EQ(p.f[0], "g2h3");
    EXPECT_EQ(p.f[1], "gxh3");
    EXPECT_EQ(p.f[2], "gh");
    EXPECT_EQ(p.f[3], "");

    test::Board promo("r3k3/1P6/8/8/8/8/8/4K3 w - -");
    Forms q = forms(promo.pos, mv("b7", "a8", FLAG_QUEEN));
    EXPECT_EQ(q.f[0], "b7a8=Q+");
    EXPECT_EQ(q.f[1], "bxa8=Q+");
    EXPECT_EQ(q.f[2], "ba=Q+");
    EXPECT_EQ(q.f[3], "+");
    notation_style.uci = true;
    EXPECT_EQ(forms(promo.pos, mv("b7", "b8", FLAG_KNIGHT)).f[0], "b7b8n");
    EXPECT_EQ(forms(promo.pos, mv("b7", "b8", FLAG_QUEEN)).f[0], "b7b8q+");

    // A knight move that uncovers the rook's check is marked in every form.
    test::Board discovered("4k3/8/8/8/4N3/8/8/4R1K1 w - -");
    Forms d = forms(discovered.pos, mv("e4", "c5"));
    for (const auto& f : d.f)
        EXPECT_EQ(f.back(), '+');
    // Castling that checks through the rook gets no mark.
    test::Board castle("5k2/8/8/8/8/8/8/4K2R w K -");
    Forms c = forms(castle.pos, mv("e1", "g1", FLAG_SHORT));
    EXPECT_EQ(c.f[0], "e1g1");
    EXPECT_EQ(c.f[1], "o-o");
    EXPECT_EQ(c.f[2], "O-O");
    EXPECT_EQ(c.f[3], "e1h1");
    notation_style.chess960 = 1;
    c = forms(castle.pos, mv("e1", "g1", FLAG_SHORT));
    EXPECT_EQ(c.f[0], "e1h1");
    EXPECT_EQ(c.f[3], "e1g1");
    char text[MOVE_TEXT_SIZE];
    move_to_coord(castle.pos, WHITE, NO_MOVE, text);
    EXPECT_STREQ(text, "null");
}

TEST_F(NotationTest, ReaderAcceptsEveryForm) {
    for (int chess960 = 0; chess960 < 2; ++chess960) {
        notation_style.chess960 = uint8_t(chess960);
        test::Board b("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
        for (const char* text : {"O-O", "0-0", "o-o", "e1g1", "e1h1"}) {
            Move m;
            EXPECT_EQ(parse_move(b.pos, text, m), 1) << text;
            EXPECT_EQ(m, mv("e1", "g1", FLAG_SHORT)) << text;
        }
        Move m;
        EXPECT_EQ(parse_move(b.pos, "O-O-O", m), 1);
        EXPECT_EQ(m, mv("e1", "c1", FLAG_LONG));
    }
    test::Board start;
    Move m;
    EXPECT_EQ(parse_move(start.pos, "e2e4", m), 1);
    EXPECT_EQ(m, mv("e2", "e4"));
    EXPECT_EQ(parse_move(start.pos, "e4", m), 1);
    EXPECT_EQ(parse_move(start.pos, "Nf3+", m), 1) << "a check mark is cut off";
    EXPECT_EQ(m, mv("g1", "f3"));
    for (const char* bad : {"", "e5", "e2e5", "Nf3#", "e4!", "z9z9", "e2e4e2e4e2e4e2e4e2e4", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"})
        EXPECT_EQ(parse_move(start.pos, bad, m), 0) << bad;
}

TEST_F(NotationTest, ReaderAmbiguityAndPins) {
    notation_style.uci = false;
    test::Board knights("4k3/8/8/8/8/8/8/1N2KN2 w - -");
    Move m;
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse_move(knights.pos, "N1d2", m), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ambiguous move\n");
    EXPECT_EQ(m, mv("f1", "d2")) << "the last match stays in result";
    EXPECT_EQ(parse_move(knights.pos, "Nd2", m), 0);
    EXPECT_EQ(parse_move(knights.pos, "Nbd2", m), 1);
    // With the f1 knight pinned, N1d2 reads the b1 move.
    test::Board pinned("4k3/8/8/8/8/8/8/1N2KN1r w - -");
    EXPECT_EQ(parse_move(pinned.pos, "N1d2", m), 1);
    EXPECT_EQ(m, mv("b1", "d2"));
    // gh reads the only g-pawn capture onto the h-file; promotions in any spelling.
    test::Board pawn("4k3/8/8/8/8/7p/6P1/4K3 w - -");
    EXPECT_EQ(parse_move(pawn.pos, "gh", m), 1);
    EXPECT_EQ(m, mv("g2", "h3"));
    test::Board promo("r3k3/1P6/8/8/8/8/8/4K3 w - -");
    for (const char* text : {"b7a8=Q", "bxa8=Q+", "bxa8q", "b7a8q", "ba=Q"}) {
        EXPECT_EQ(parse_move(promo.pos, text, m), 1) << text;
        EXPECT_EQ(m, mv("b7", "a8", FLAG_QUEEN)) << text;
    }
    EXPECT_EQ(parse_move(promo.pos, "b8=N", m), 1);
    EXPECT_EQ(m, mv("b7", "b8", FLAG_KNIGHT));
}

// Every legal move's SAN reads back as that move, over real positions.
TEST_F(NotationTest, SanRoundTripOverSuites) {
    notation_style.uci = false;
    // In Chess960 a castling king's destination may also be a plain king
    // move, so there only SAN is unique.
    for (const char* file : {"perft-standard.epd", "perft-chess960.epd"})
        for (const auto& c : test::load_perft_suite(file)) {
            const bool chess960 = std::string(file) == "perft-chess960.epd";
            notation_style.chess960 = chess960;
            test::Board b(c.fen.c_str());
            for (Move m : test::legal_moves(b.pos)) {
                Forms f = forms(b.pos, m);
                for (int i = chess960 ? 1 : 0; i < 2; ++i) {
                    Move back;
                    EXPECT_EQ(parse_move(b.pos, f.f[i].c_str(), back), 1) << c.fen << " " << f.f[i];
                    EXPECT_EQ(back, m) << c.fen << " " << f.f[i];
                }
            }
        }
}

} // namespace
} // namespace zelk
