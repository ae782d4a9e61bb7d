#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/movegen.h"
#include "core/notation.h"
#include "helpers.h"
#include "search/movepick.h"
#include "search/thread.h"

namespace zelk {
namespace {

// All moves the picker hands out at ply 2, in order.
std::vector<MoveEntry> picked(test::Board& b, Move hash = NO_MOVE) {
    SearchThread& t = *b.thread;
    t.search_ply = 2;
    t.plies[2].list = t.move_stack;
    t.plies[2].check_sq = NO_SQUARE;
    t.plies[2].in_check = 0;
    t.plies[2].hash_move = hash;
    picker_start(t, 2, PICK_HASH | PICK_CAPTURES | PICK_QUIETS);
    std::vector<MoveEntry> out;
    while (MoveEntry* e = next_move(t))
        out.push_back(*e);
    t.search_ply = 1;
    return out;
}

TEST(Picker, BadCaptureComesLast) {
    // The rook takes a pawn defended by a pawn: exchange -450, so it comes
    // after the killer and every quiet move.
    test::Board b("4k3/2p5/3p4/8/8/8/8/3RK3 w - -");
    b.thread->plies[2].killer1 = test::find_move(b.pos, "d1a1");
    const auto moves = picked(b);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back().move, test::find_move(b.pos, "d1d6"));
}

TEST(Picker, HandsOutEveryMoveOnceAndTheHashMoveFirst) {
    for (const auto& c : test::load_perft_suite("perft-standard.epd")) {
        test::Board b(c.fen.c_str());
        gen_ply_moves(*b.thread);
        std::multiset<Move> all;
        for (MoveEntry* e = b.thread->plies[1].list; e->move != END_OF_LIST; ++e)
            all.insert(e->move);
        const Move hash = *all.begin();
        const auto moves = picked(b, hash);
        ASSERT_FALSE(moves.empty());
        EXPECT_EQ(moves[0].move, hash);
        std::multiset<Move> seen;
        for (size_t i = 1; i < moves.size(); ++i)
            seen.insert(moves[i].move);
        EXPECT_EQ(seen, all) << c.fen;
    }
}

// Castling gives check when the rook lands on the king's line, standard and
// Chess960 (where the rook's move may be short and the squares overlap).
TEST(Picker, CastlingChecks) {
    const struct {
        const char* fen;
        const char* move;
        bool check;
    } cases[] = {
        {"5k2/8/8/8/8/8/8/4K2R w K -", "e1g1", true},     // rook f1, king f8
        {"6k1/8/8/8/8/8/8/4K2R w K -", "e1g1", false},
        {"3k4/8/8/8/8/8/8/R3K3 w Q -", "e1c1", true},     // rook d1, king d8
        {"r3k3/8/8/8/8/8/8/3K4 b q -", "e8c8", true},     // rook d8, king d1
        {"4k3/8/8/8/8/8/8/1R3K2 w B -", "f1c1", false},   // Chess960: rook d1
        {"3k4/8/8/8/8/8/8/1R3K2 w B -", "f1c1", true},
    };
    for (const auto& c : cases) {
        test::Board b(c.fen);
        const Move m = test::find_move(b.pos, c.move);
        ASSERT_NE(move_flags_of(m), 0) << c.fen << ": castling is legal";
        MoveEntry e{m, 0, b.pos.board[move_from(m)], 0};
        EXPECT_EQ((move_flags(b.pos, b.pos.side, e) & MF_CHECK) != 0, c.check) << c.fen;
        EXPECT_EQ(move_gives_check(b.pos, b.pos.side, m) != 0, c.check) << c.fen;
    }
}

} // namespace
} // namespace zelk
