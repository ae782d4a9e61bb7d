#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <string>

#include "core/attacks.h"
#include "core/hashcodes.h"
#include "helpers.h"

namespace zelk {
namespace {

int sq(const char* n) { return make_square(n[0] - 'a', n[1] - '1'); }

TEST(HashCodes, FixedAndDense) {
    EXPECT_EQ(hash_codes.codes[0], 0xE708E34F294DDE49ULL);
    EXPECT_EQ(hash_codes.codes[1], 0x6338AB3E8B29B46DULL);
    for (uint64_t c : hash_codes.codes)
        EXPECT_GE(std::popcount(c), 24);
    MwcState s;
    EXPECT_EQ(mwc_next(s), (36969u << 16) + 18000u) << "first step from z = w = 1";
    make_hash_codes();   // a second call changes nothing
    EXPECT_EQ(hash_codes.codes[0], 0xE708E34F294DDE49ULL);
}

TEST(Fen, StartPosition) {
    test::Board b;
    EXPECT_EQ(b.pos.key, 0xDFE6BD54A65B1FA3ULL);
    EXPECT_EQ(b.pos.pawn_key, 0xA8E7818476AEFDD2ULL);
    EXPECT_EQ(b.pos.castle_rights, 15);
    EXPECT_EQ(b.pos.castle_rook[0], sq("h1"));
    EXPECT_EQ(b.pos.castle_rook[1], sq("a1"));
    EXPECT_EQ(b.pos.castle_rook[2], sq("h8"));
    EXPECT_EQ(b.pos.castle_rook[3], sq("a8"));
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(b.pos.npm[c], 32);
        EXPECT_EQ(b.pos.mat_sig[c], 0x12228u);
    }
    EXPECT_EQ(b.pos.castle_path[0], bit(sq("f1")) | bit(sq("g1")));
    EXPECT_EQ(b.pos.castle_path[1], bit(sq("b1")) | bit(sq("c1")) | bit(sq("d1")));
    EXPECT_EQ(b.fen(), START_FEN);
    EXPECT_EQ(b.fen(true), std::string(START_FEN) + " 0 0");
}

TEST(Fen, CastlingFields) {
    // Two rooks right of the king: the short right is dropped.
    EXPECT_EQ(test::Board("4k3/8/8/8/8/8/8/R3K1RR w KQkq -").pos.castle_rights, 2);
    // A castling letter with the king off its back rank grants nothing.
    EXPECT_EQ(test::Board("r3k2r/8/8/8/8/8/4K3/R6R w KQkq -").pos.castle_rights, 12);
    // Shredder-FEN letters on a Chess960 start position grant all four rights.
    test::Board c960("qrkbbrnn/pppppppp/8/8/8/8/PPPPPPPP/QRKBBRNN w FBfb -");
    EXPECT_EQ(c960.pos.castle_rights, 15);
    EXPECT_EQ(c960.pos.castle_rook[0], sq("f1"));
    EXPECT_EQ(c960.pos.castle_rook[1], sq("b1"));
    EXPECT_EQ(c960.pos.castle_rook[3], sq("b8"));
    // X-FEN letters KQkq name the same rooks; the written field is always KQkq.
    test::Board xfen("qrkbbrnn/pppppppp/8/8/8/8/PPPPPPPP/QRKBBRNN w KQkq -");
    EXPECT_EQ(xfen.pos.key, c960.pos.key);
    EXPECT_EQ(c960.fen(), "qrkbbrnn/pppppppp/8/8/8/8/PPPPPPPP/QRKBBRNN w KQkq -");
}

TEST(Fen, EnPassantAndSide) {
    EXPECT_EQ(test::Board("4k3/8/8/8/4Pp2/8/8/4K3 b - e3").pos.ep_square, 20);
    EXPECT_EQ(test::Board("4k3/8/8/3pP3/8/8/8/4K3 w - d6").pos.ep_square, sq("d6"));
    EXPECT_EQ(test::Board("4k3/8/8/4pP2/8/8/8/4K3 w - e6").pos.ep_square, 44);
    EXPECT_EQ(test::Board("4k3/8/8/8/8/8/8/4K3 w - -").pos.ep_square, NO_SQUARE);
    test::Board w("4k3/8/8/8/8/8/8/4K3 w - -"), bl("4k3/8/8/8/8/8/8/4K3 b - -");
    EXPECT_EQ(w.pos.key ^ bl.pos.key, uint64_t(1) << 32);
}

// Broken FEN text never writes outside the board and leaves a consistent position.
TEST(Fen, MalformedInputIsClipped) {
    const char* bad[] = {
        "",
        "   ",
        "rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",   // a rank overruns
        "8/8/8/8/8/8/8/8/8/8/KQ/kq w - -",                          // too many ranks
        "88888888/8/8/8/8/8/8/K6k w",                               // digits overrun
        "9k/8/8/8/8/8/8/K7 w - -",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkqKQkqKQkqKQkqKQkqABCDEFGHabcdefgh -",
        "4k3/8/8/8/8/8/8/4K3 w - 3",                                // rank digit without a file
        "4k3/8/8/8/8/8/8/4K3 w - e9e8h3",
        "4k3/8/8/8/8/8/8/4K3 w - 88",
        "QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/qqqqqqqq/qqqqqqqq/8/K6k w - -",   // more than 16 a side
        "\x01\xff\x80garbage%%%///////////",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",              // board only
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x",            // unknown side letter
    };
    for (const char* fen : bad) {
        test::Board b(fen);
        EXPECT_EQ(b.pos.board_sentinel, 0) << fen;
        EXPECT_LE(b.pos.ep_square, NO_SQUARE) << fen;
        EXPECT_LE(std::popcount(b.pos.pieces[0]), 16) << fen;
        EXPECT_LE(std::popcount(b.pos.pieces[8]), 16) << fen;
        Bitboard all = 0;
        for (int s = 0; s < 64; ++s)
            if (b.pos.board[s])
                all |= bit(s);
        EXPECT_EQ(all, occupancy(b.pos)) << fen;
        uint64_t key, pawn_key;
        pos_compute_keys(b.pos, key, pawn_key);
        EXPECT_EQ(key, b.pos.key) << fen;
        std::string out = b.fen(true);
        EXPECT_LT(out.size(), FEN_BUFFER_SIZE) << fen;
    }
    // An en-passant square without the pawn that just passed it is no en-passant square.
    EXPECT_EQ(test::Board("4k3/8/8/8/8/8/8/4K3 w - e6").pos.ep_square, NO_SQUARE);
    // A missing side letter means White, whoever was to move before.
    test::Board keep("4k3/8/8/8/8/8/8/4K3 b - -");
    pos_from_fen(keep.pos, "4k3/8/8/8/8/8/8/4K3");
    EXPECT_EQ(keep.pos.side, WHITE);
    EXPECT_EQ(keep.pos.castle_rights, 0);
    // More than 16 men a side: the board is clipped, never of its king.
    for (const char* crowded : {"k7/8/8/8/NNNNNNNN/NNNNNNNN/8/K7 w - -", "k7/8/8/8/NNNNNNNN/NNNNNNNN/8/K6K w - -"}) {
        test::Board b(crowded);
        EXPECT_EQ(std::popcount(b.pos.pieces[0]), 16) << crowded;
        EXPECT_EQ(b.pos.king_sq[WHITE], 0) << crowded;
        EXPECT_EQ(b.pos.board[0], piece_code(WHITE, KING)) << crowded;
        EXPECT_EQ(b.pos.board[b.pos.king_sq[BLACK]], piece_code(BLACK, KING)) << crowded;
    }
    test::Board black("qqqqqqqq/qqqqqqqq/qqqqqqqq/7k/8/8/8/K7 w - -");
    EXPECT_EQ(std::popcount(black.pos.pieces[8]), 16);
    EXPECT_EQ(black.pos.board[39], piece_code(BLACK, KING));
}

// FEN out of FEN in gives the same text, and keys agree with a fresh computation.
TEST(Fen, SuiteRoundTrips) {
    for (const char* file : {"perft-standard.epd", "perft-chess960.epd"}) {
        for (const auto& c : test::load_perft_suite(file)) {
            test::Board b(c.fen.c_str());
            test::Board again(b.fen().c_str());
            EXPECT_EQ(again.pos.key, b.pos.key) << c.fen;
            EXPECT_EQ(again.pos.pawn_key, b.pos.pawn_key) << c.fen;
            EXPECT_EQ(again.fen(), b.fen()) << c.fen;
            EXPECT_EQ(std::memcmp(again.pos.board, b.pos.board, 64), 0) << c.fen;
        }
    }
}

TEST(Position, PutThenRemoveRestoresCounters) {
    test::Board b;
    Position before = b.pos;
    for (int type = PAWN; type <= QUEEN; ++type)
        for (int colour = 0; colour < 2; ++colour) {
            pos_put_piece(b.pos, colour, type, sq("e4"));
            EXPECT_EQ(b.pos.board[sq("e4")], piece_code(colour, type));
            pos_remove_piece(b.pos, sq("e4"));
            EXPECT_EQ(std::memcmp(&before, &b.pos, sizeof before), 0);
        }
}

} // namespace
} // namespace zelk
