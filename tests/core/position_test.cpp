// The position: FEN in and out, and making and unmaking moves.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "core/makemove.h"
#include "helpers.h"

namespace zelk {
namespace {

TEST(Fen, CastlingFields) {
    // Two rooks right of the king: the short right is dropped.
    EXPECT_EQ(test::Board("4k3/8/8/8/8/8/8/R3K1RR w KQkq -").pos.castle_rights, 2);
    // A castling letter with the king off its back rank grants nothing.
    EXPECT_EQ(test::Board("r3k2r/8/8/8/8/8/4K3/R6R w KQkq -").pos.castle_rights, 12);
    // Shredder-FEN letters are written as KQkq (their rooks and the X-FEN
    // reading: the Chess960 perft suite and its FEN round trip).
    EXPECT_EQ(test::Board("qrkbbrnn/pppppppp/8/8/8/8/PPPPPPPP/QRKBBRNN w FBfb -").fen(),
              "qrkbbrnn/pppppppp/8/8/8/8/PPPPPPPP/QRKBBRNN w KQkq -");
}

// Broken FEN text never writes outside the board and leaves a consistent position.
TEST(Fen, MalformedInputIsClipped) {
    const char* bad[] = {
        "",
        "rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",   // a rank overruns
        "8/8/8/8/8/8/8/8/8/8/KQ/kq w - -",                          // too many ranks
        "88888888/8/8/8/8/8/8/K6k w",                               // digits overrun
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkqKQkqKQkqKQkqKQkqABCDEFGHabcdefgh -",
        "4k3/8/8/8/8/8/8/4K3 w - e9e8h3",
        "QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/qqqqqqqq/qqqqqqqq/8/K6k w - -",   // more than 16 a side
        "\x01\xff\x80garbage%%%///////////",
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
        EXPECT_LT(b.fen(true).size(), FEN_BUFFER_SIZE) << fen;
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
    // A second king of a colour is dropped: the first one stays.
    test::Board kings("k6k/8/8/8/8/8/8/K6K w - -");
    EXPECT_EQ(std::popcount(pieces_of(kings.pos, WHITE, KING) | pieces_of(kings.pos, BLACK, KING)), 2);
    EXPECT_EQ(kings.pos.king_sq[WHITE], 0);
    EXPECT_EQ(kings.pos.king_sq[BLACK], 56);
}

// Walks the whole tree to `depth`; at every node checks the keys against a
// fresh computation and that unmake restores every byte of the position.
void check_tree(test::Board& b, int depth) {
    uint64_t key, pawn_key;
    pos_compute_keys(b.pos, key, pawn_key);
    ASSERT_EQ(b.pos.key, key) << b.fen();
    ASSERT_EQ(b.pos.pawn_key, pawn_key) << b.fen();
    if (depth == 0)
        return;
    for (Move m : test::legal_moves(b.pos)) {
        Position before;
        std::memcpy(&before, &b.pos, sizeof before);
        const SearchThread& t = *b.thread;
        const int16_t count = t.history_count, ply = t.search_ply;
        const Move last = t.last_move;
        make_move(b.pos, m);
        check_tree(b, depth - 1);
        unmake_move(b.pos);
        ASSERT_EQ(std::memcmp(&before, &b.pos, sizeof before), 0) << b.fen() << " move " << m;
        ASSERT_EQ(t.history_count, count);
        ASSERT_EQ(t.search_ply, ply);
        ASSERT_EQ(t.last_move, last);
    }
}

// FEN out of FEN in gives the same text and key; over the tree below,
// keys and unmake as check_tree checks them.
TEST(MakeMove, FenKeysAndRestoreOverSuiteTrees) {
    for (const char* file : {"perft-standard.epd", "perft-chess960.epd"})
        for (const auto& c : test::load_perft_suite(file)) {
            test::Board b(c.fen.c_str()), again(b.fen().c_str());
            EXPECT_EQ(again.fen(), b.fen()) << c.fen;
            EXPECT_EQ(again.pos.key, b.pos.key) << c.fen;
            check_tree(b, 3);
        }
}

TEST(MakeMove, CastlingRightsFollowTheRooks) {
    // Bishop takes the rook on h8: black loses the short right only.
    test::Board b("r3k2r/6p1/8/8/8/8/1B6/R3K2R w KQkq -");
    test::play(b.pos, "Bxg7 a8b8 Bxh8");
    EXPECT_EQ(b.pos.castle_rights, 1 | 2);
    // A rook that leaves and comes back does not restore its right.
    test::Board r("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    test::play(r.pos, "Rh2 Rh7 Rh1 Rh8");
    EXPECT_EQ(r.pos.castle_rights, 2 | 8);
}

TEST(MakeMove, NullMoveRoundTrip) {
    test::Board b("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    Position before;
    std::memcpy(&before, &b.pos, sizeof before);
    make_null_move(b.pos);
    EXPECT_EQ(b.pos.side, BLACK);
    EXPECT_EQ(b.pos.ep_square, NO_SQUARE);
    uint64_t key, pawn_key;
    pos_compute_keys(b.pos, key, pawn_key);
    EXPECT_EQ(b.pos.key, key);
    EXPECT_EQ(b.thread->history[0].move, NO_MOVE);
    unmake_null_move(b.pos);
    EXPECT_EQ(std::memcmp(&before, &b.pos, sizeof before), 0);
}

} // namespace
} // namespace zelk
