// Static exchange evaluation on small hand-made positions.
#include <gtest/gtest.h>

#include "core/attacks.h"
#include "helpers.h"
#include "core/see.h"

namespace zelk {
namespace {

int sq(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }

Move mv(const char* from, const char* to) { return make_move_code(sq(from), sq(to)); }

TEST(See, Exchanges) {
    reset_see_values();
    struct Case {
        const char* fen;
        int side;
        const char* square;
        int victim;
        int gain;
    };
    const Case cases[] = {
        // A pawn defended by a pawn: the queen does not take.
        {"4k3/8/3p4/4p3/8/8/7Q/4K3 w - -", WHITE, "e5", PAWN, 0},
        // Undefended pawn.
        {"4k3/8/8/4p3/8/8/7Q/4K3 w - -", WHITE, "e5", PAWN, 100},
        // Knight takes a defended rook: rook for knight.
        {"4k3/8/3p4/4r3/8/3N4/8/4K3 w - -", WHITE, "e5", ROOK, 200},
        // Knight takes a pawn, the bishop retakes, the rook behind retakes.
        {"4k3/8/2b5/3p4/8/4N3/8/3RK3 w - -", WHITE, "d5", PAWN, 100},
        // Rook takes a pawn the bishop defends: the second rook cannot save it.
        {"4k3/8/2b5/3p4/8/8/3R4/3RK3 w - -", WHITE, "d5", PAWN, 0},
        // The king may only take an undefended piece.
        {"8/8/8/4k3/3P4/6K1/8/8 b - -", BLACK, "d4", PAWN, 100},
        {"8/8/8/4k3/3P4/4K3/8/8 b - -", BLACK, "d4", PAWN, 0},
        {"8/8/8/4k3/3P4/2P1K3/8/8 b - -", BLACK, "d4", PAWN, 0},
        // Nobody attacks.
        {"4k3/8/8/4p3/8/8/8/4K3 w - -", WHITE, "e5", PAWN, 0},
        // Capturing a king.
        {"5k2/8/8/8/8/8/8/4KR2 w - -", WHITE, "f8", KING, 9999},
    };
    for (const Case& c : cases) {
        test::Board b(c.fen);
        EXPECT_EQ(see(b.pos, c.side, sq(c.square), c.victim, occupancy(b.pos)), c.gain) << c.fen;
    }
}

TEST(See, SeeOkJudgesMoves) {
    reset_see_values();
    struct Case {
        const char* fen;
        Move move;
        int ok;
    };
    const Case cases[] = {
        {"4k3/8/3p4/4p3/8/8/8/4RK2 w - -", mv("e1", "e5"), 0},     // rook for a defended pawn
        {"4k3/8/8/4p3/8/8/8/4RK2 w - -", mv("e1", "e5"), 1},       // free pawn
        {"4k3/8/3p4/4n3/3P4/8/8/4K3 w - -", mv("d4", "e5"), 1},    // pawn takes knight
        {"4k3/8/3p4/8/8/8/8/R3K3 w - -", mv("a1", "a5"), 1},       // quiet, nothing attacks a5
        {"4k3/8/1p6/8/8/8/8/R3K3 w - -", mv("a1", "a5"), 0},       // quiet into a pawn's attack
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6", mv("e5", "d6"), 1},      // en passant
        {"4k3/8/3p4/4b3/8/8/8/4NK2 w - -", mv("e1", "d3"), 1},     // knight quiet, not attacked
        {"4k3/8/8/8/8/2p5/3p4/4K3 w - -", mv("e1", "d2"), 0},      // the king takes a defended pawn
    };
    for (const Case& c : cases) {
        test::Board b(c.fen);
        EXPECT_EQ(see_ok(b.pos, c.move), c.ok) << c.fen;
    }
}

} // namespace
} // namespace zelk
