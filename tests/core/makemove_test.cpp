#include <gtest/gtest.h>

#include <cstring>

#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "helpers.h"

namespace zelk {
namespace {

int sq(const char* n) { return make_square(n[0] - 'a', n[1] - '1'); }

TEST(MakeMove, DoublePushFromStart) {
    test::Board b;
    make_move(b.pos, make_move_code(sq("e2"), sq("e4")));
    EXPECT_EQ(b.pos.key, 0x1F3FF74F31947544ULL);
    EXPECT_EQ(b.pos.ep_square, sq("e3"));
    EXPECT_EQ(b.pos.halfmove, 0);
    EXPECT_EQ(b.pos.side, BLACK);
    EXPECT_EQ(b.thread->history_count, 1);
    EXPECT_EQ(b.thread->search_ply, 2);
    unmake_move(b.pos);
    EXPECT_EQ(b.pos.key, 0xDFE6BD54A65B1FA3ULL);
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

TEST(MakeMove, KeysAndRestoreOverSuiteTrees) {
    for (const char* file : {"perft-standard.epd", "perft-chess960.epd"})
        for (const auto& c : test::load_perft_suite(file)) {
            test::Board b(c.fen.c_str());
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
    // Castling moves king and rook and clears both rights of the side.
    test::Board c("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    test::play(c.pos, "O-O O-O-O");
    EXPECT_EQ(c.fen(true), "2kr3r/8/8/8/8/8/8/R4RK1 w - - 0 2");
}

TEST(MakeMove, Chess960CastlingWithOverlappingSquares) {
    // King b1, rook a1: long castling puts the king on c1 and the rook on d1.
    test::Board b("4k2r/8/8/8/8/8/8/RK6 w A -");
    Move m;
    ASSERT_TRUE(parse_move(b.pos, "O-O-O", m));
    make_move(b.pos, m);
    EXPECT_EQ(b.pos.board[sq("c1")], piece_code(WHITE, KING));
    EXPECT_EQ(b.pos.board[sq("d1")], piece_code(WHITE, ROOK));
    EXPECT_EQ(b.pos.board[sq("a1")], 0);
    EXPECT_EQ(b.pos.king_sq[WHITE], sq("c1"));
    unmake_move(b.pos);
    EXPECT_EQ(b.pos.board[sq("b1")], piece_code(WHITE, KING));
    EXPECT_EQ(b.pos.board[sq("a1")], piece_code(WHITE, ROOK));
    // King f1, rook g1: short castling swaps them onto g1 and f1.
    test::Board s("4k3/8/8/8/8/8/8/5KR1 w G -");
    ASSERT_TRUE(parse_move(s.pos, "O-O", m));
    make_move(s.pos, m);
    EXPECT_EQ(s.pos.board[sq("g1")], piece_code(WHITE, KING));
    EXPECT_EQ(s.pos.board[sq("f1")], piece_code(WHITE, ROOK));
}

TEST(Legality, CastlingAndPins) {
    auto legal = [](const char* fen, const char* from, const char* to, uint16_t flags = 0) {
        test::Board b(fen);
        return is_legal(b.pos, b.pos.side, make_move_code(sq(from), sq(to), flags));
    };
    // Through an attacked square, out of check, into check.
    EXPECT_EQ(legal("4k3/8/8/8/8/8/8/4K2R w K -", "e1", "g1", FLAG_SHORT), 1);
    EXPECT_EQ(legal("4kr2/8/8/8/8/8/8/4K2R w K -", "e1", "g1", FLAG_SHORT), 0);
    EXPECT_EQ(legal("4r1k1/8/8/8/8/8/8/4K2R w K -", "e1", "g1", FLAG_SHORT), 0);
    EXPECT_EQ(legal("6rk/8/8/8/8/8/8/4K2R w K -", "e1", "g1", FLAG_SHORT), 0);
    // Only the rook passes an attacked square: legal.
    EXPECT_EQ(legal("1r2k3/8/8/8/8/8/8/R3K3 w Q -", "e1", "c1", FLAG_LONG), 1);
    // Chess960: the castling rook on b1 shields c1 from the queen on a1 only
    // until it moves, so long castling is illegal.
    EXPECT_EQ(legal("4k3/8/8/8/8/8/8/qRK5 w B -", "c1", "c1", FLAG_LONG), 0);
    EXPECT_EQ(legal("4k3/8/8/8/8/8/8/1RK5 w B -", "c1", "c1", FLAG_LONG), 1);
    // En passant that exposes the king along the rank.
    EXPECT_EQ(legal("8/8/8/K2pP2r/8/8/8/7k w - d6", "e5", "d6"), 0);
    EXPECT_EQ(legal("8/8/8/K2pP3/8/8/8/7k w - d6", "e5", "d6"), 1);
    // A pinned knight may not move; the king may not take a defended piece.
    EXPECT_EQ(legal("4k3/4r3/8/8/8/8/4N3/4K3 w - -", "e2", "c3"), 0);
    EXPECT_EQ(legal("4k3/8/8/8/8/8/3rr3/4K3 w - -", "e1", "d2"), 0);
    EXPECT_EQ(legal("4k3/8/8/8/8/8/3r4/4K3 w - -", "e1", "d2"), 1);
    test::Board b;
    EXPECT_EQ(is_legal(b.pos, WHITE, NO_MOVE), 0);
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
