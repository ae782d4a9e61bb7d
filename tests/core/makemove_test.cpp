#include <gtest/gtest.h>

#include <cstring>

#include "core/makemove.h"
#include "helpers.h"

namespace zelk {
namespace {

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
