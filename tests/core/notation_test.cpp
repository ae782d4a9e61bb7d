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

// The four texts of a move: coordinates, SAN, the console's short form and
// the castling spelling of the other convention.
TEST_F(NotationTest, WriterForms) {
    const char* const KNIGHTS = "4k3/8/8/8/8/8/8/1N2KN2 w - -";
    const char* const QUEENS = "4k3/8/8/8/8/Q7/8/Q1Q1K3 w - -";
    const char* const PAWN = "4k3/8/8/8/8/7p/6P1/4K3 w - -";
    const char* const PROMO = "r3k3/1P6/8/8/8/8/8/4K3 w - -";
    const char* const CASTLE = "5k2/8/8/8/8/8/8/4K2R w K -";
    const struct {
        const char* fen;
        Move move;
        bool uci, chess960;
        const char* forms[4];   // nullptr: not checked
    } cases[] = {
        {KNIGHTS, mv("b1", "d2"), false, false, {nullptr, "Nbd2", "Nbd2", "N1d2"}},
        {"4k3/8/8/8/8/1N6/8/1N2K3 w - -", mv("b3", "d2"), false, false, {nullptr, "N3d2"}},
        {QUEENS, mv("a1", "b2"), false, false, {nullptr, "Q1b2"}},
        {QUEENS, mv("c1", "b2"), false, false, {nullptr, "Qcb2"}},
        {PAWN, mv("g2", "h3"), false, false, {"g2h3", "gxh3", "gh", ""}},
        {PROMO, mv("b7", "a8", FLAG_QUEEN), false, false, {"b7a8=Q+", "bxa8=Q+", "ba=Q+", "+"}},
        {PROMO, mv("b7", "b8", FLAG_QUEEN), true, false, {"b7b8q+"}},
        // Castling that checks through the rook gets no mark.
        {CASTLE, mv("e1", "g1", FLAG_SHORT), true, false, {"e1g1", "o-o", "O-O", "e1h1"}},
        {CASTLE, mv("e1", "g1", FLAG_SHORT), true, true, {"e1h1", nullptr, nullptr, "e1g1"}},
    };
    for (const auto& c : cases) {
        notation_style.uci = c.uci;
        notation_style.chess960 = c.chess960;
        test::Board b(c.fen);
        const Forms f = forms(b.pos, c.move);
        for (int i = 0; i < 4; ++i)
            if (c.forms[i]) {
                EXPECT_EQ(f.f[i], c.forms[i]) << c.fen << " form " << i;
            }
    }
    // A knight move that uncovers the rook's check is marked in every form.
    notation_style.uci = false;
    test::Board discovered("4k3/8/8/8/4N3/8/8/4R1K1 w - -");
    for (const auto& f : forms(discovered.pos, mv("e4", "c5")).f)
        EXPECT_EQ(f.back(), '+');
    char text[MOVE_TEXT_SIZE];
    move_to_coord(discovered.pos, WHITE, NO_MOVE, text);
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
    EXPECT_EQ(parse_move(start.pos, "Nf3+", m), 1) << "a check mark is cut off";
    EXPECT_EQ(m, mv("g1", "f3"));
    for (const char* bad : {"", "e5", "e2e5", "Nf3#", "e4!", "z9z9", "e2e4e2e4e2e4e2e4e2e4", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"})
        EXPECT_EQ(parse_move(start.pos, bad, m), 0) << bad;
}

// Coordinate promotions read in both modes, although UCI mode writes them
// "b7a8q" and console mode "b7a8=Q".
TEST_F(NotationTest, ReaderTakesCoordinatePromotionsInEitherMode) {
    test::Board b("r3k3/1P6/8/8/8/8/8/4K3 w - -");
    for (int uci = 0; uci < 2; ++uci) {
        notation_style.uci = uci != 0;
        for (const char* text : {"b7a8q", "b7a8=Q", "bxa8q", "ba=Q"}) {
            Move m;
            EXPECT_EQ(parse_move(b.pos, text, m), 1) << text << " uci " << uci;
            EXPECT_EQ(m, mv("b7", "a8", FLAG_QUEEN)) << text << " uci " << uci;
        }
        Move m;
        EXPECT_EQ(parse_move(b.pos, "b7b8n", m), 1);
        EXPECT_EQ(m, mv("b7", "b8", FLAG_KNIGHT));
        EXPECT_EQ(parse_move(b.pos, "b7b8", m), 0) << "a promotion needs its piece";
    }
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
    // gh reads the only g-pawn capture onto the h-file.
    test::Board pawn("4k3/8/8/8/8/7p/6P1/4K3 w - -");
    EXPECT_EQ(parse_move(pawn.pos, "gh", m), 1);
    EXPECT_EQ(m, mv("g2", "h3"));
    // A capture onto the b-file ends in "b", which is also a bishop's letter.
    test::Board bfile("4k3/8/8/8/8/1p6/2P5/4K3 w - -");
    EXPECT_EQ(parse_move(bfile.pos, "cb", m), 1);
    EXPECT_EQ(m, mv("c2", "b3"));
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
