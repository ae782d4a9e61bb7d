#include <gtest/gtest.h>

#include <string>

#include "core/notation.h"
#include "helpers.h"

namespace zelk {
namespace {

Move mv(const char* from, const char* to, uint16_t flags = 0) { return test::move_code(from, to, flags); }

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
    const char* const QUEENS = "4k3/8/8/8/8/Q7/8/Q1Q1K3 w - -";
    const char* const PROMO = "r3k3/1P6/8/8/8/8/8/4K3 w - -";
    const char* const CASTLE = "5k2/8/8/8/8/8/8/4K2R w K -";
    const struct {
        const char* fen;
        Move move;
        bool uci, chess960;
        const char* forms[4];   // nullptr: not checked
    } cases[] = {
        {"4k3/8/8/8/8/8/8/1N2KN2 w - -", mv("b1", "d2"), false, false, {nullptr, "Nbd2", "Nbd2", "N1d2"}},
        {"4k3/8/8/8/8/1N6/8/1N2K3 w - -", mv("b3", "d2"), false, false, {nullptr, "N3d2"}},
        {QUEENS, mv("a1", "b2"), false, false, {nullptr, "Qa1b2"}},
        {QUEENS, mv("c1", "b2"), false, false, {nullptr, "Qcb2"}},
        {"4k3/8/8/8/8/7p/6P1/4K3 w - -", mv("g2", "h3"), false, false, {"g2h3", "gxh3", "gh", ""}},
        {PROMO, mv("b7", "a8", FLAG_QUEEN), false, false, {"b7a8=Q+", "bxa8=Q+", "ba=Q+", "+"}},
        {PROMO, mv("b7", "b8", FLAG_QUEEN), true, false, {"b7b8q+"}},
        // A knight move that uncovers the rook's check is marked in every form.
        {"4k3/8/8/8/4N3/8/8/4R1K1 w - -", mv("e4", "c5"), false, false, {"e4c5+", "Nc5+", "Nec5+", "N4c5+"}},
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
}

// Texts the reader takes, in UCI and console mode and with Chess960 on or
// off: castling in every spelling, a check mark cut off, coordinate
// promotions (written "b7a8q" in UCI mode and "b7a8=Q" in console mode),
// file captures and disambiguation.
TEST_F(NotationTest, ReaderAcceptsEveryFormInEveryMode) {
    const char* const CASTLES = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -";
    const char* const PROMO = "r3k3/1P6/8/8/8/8/8/4K3 w - -";
    const char* const KNIGHTS = "4k3/8/8/8/8/8/8/1N2KN2 w - -";
    const Move SHORT = mv("e1", "g1", FLAG_SHORT), QUEEN = mv("b7", "a8", FLAG_QUEEN);
    const struct {
        const char* fen;
        const char* text;
        Move move;   // NO_MOVE: refused
    } cases[] = {
        {CASTLES, "O-O", SHORT}, {CASTLES, "0-0", SHORT}, {CASTLES, "o-o", SHORT}, {CASTLES, "e1g1", SHORT},
        {CASTLES, "e1h1", SHORT}, {CASTLES, "O-O-O", mv("e1", "c1", FLAG_LONG)},
        {START_FEN, "Nf3+", mv("g1", "f3")},
        {PROMO, "b7a8q", QUEEN}, {PROMO, "b7a8=Q", QUEEN}, {PROMO, "bxa8q", QUEEN}, {PROMO, "ba=Q", QUEEN},
        {PROMO, "b7b8n", mv("b7", "b8", FLAG_KNIGHT)}, {PROMO, "b7b8", NO_MOVE},   // a promotion needs its piece
        {KNIGHTS, "Nd2", NO_MOVE}, {KNIGHTS, "Nbd2", mv("b1", "d2")},
        // With the f1 knight pinned, N1d2 reads the b1 move.
        {"4k3/8/8/8/8/8/8/1N2KN1r w - -", "N1d2", mv("b1", "d2")},
        // gh reads the only g-pawn capture onto the h-file; "cb" ends in a
        // bishop's letter but is a pawn capture.
        {"4k3/8/8/8/8/7p/6P1/4K3 w - -", "gh", mv("g2", "h3")},
        {"4k3/8/8/8/8/1p6/2P5/4K3 w - -", "cb", mv("c2", "b3")},
    };
    for (int mode = 0; mode < 4; ++mode) {
        notation_style.uci = mode & 1;
        notation_style.chess960 = uint8_t(mode >> 1);
        for (const auto& c : cases) {
            test::Board b(c.fen);
            Move m = NO_MOVE;
            EXPECT_EQ(parse_move(b.pos, c.text, m), c.move != NO_MOVE) << c.text << " mode " << mode;
            if (c.move != NO_MOVE) {
                EXPECT_EQ(m, c.move) << c.text << " mode " << mode;
            }
        }
    }
    test::Board start;
    Move m;
    for (const char* bad : {"", "e5", "e2e5", "Nf3#", "e4!", "z9z9", "e2e4e2e4e2e4e2e4e2e4", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"})
        EXPECT_EQ(parse_move(start.pos, bad, m), 0) << bad;
    // Two knights reach d2 from the first rank: refused, and said so.
    notation_style.uci = false;
    test::Board knights(KNIGHTS);
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse_move(knights.pos, "N1d2", m), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ambiguous move\n");
    EXPECT_EQ(m, mv("f1", "d2")) << "the last match stays in result";
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
