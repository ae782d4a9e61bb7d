#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/movegen.h"
#include "core/notation.h"
#include "helpers.h"

namespace zelk {
namespace {

// The search's staged generators where they differ from the full list:
// under-promotions on request only, replies to check, direct checks.
TEST(Generators, StagedFamilies) {
    using Gen = std::function<MoveEntry*(const Position&, MoveEntry*)>;
    const struct {
        const char* fen;
        Gen gen;
        const char* moves;
    } cases[] = {
        {"r3k3/1P6/8/8/8/8/8/4K3 w - -", [](const Position& p, MoveEntry* l) { return gen_promotions(p, WHITE, 1, l); },
         "b7b8=Q b7b8=N b7b8=B b7b8=R b7a8=Q b7a8=N b7a8=B b7a8=R"},
        {"r3k3/1P6/8/8/8/8/8/4K3 w - -", [](const Position& p, MoveEntry* l) { return gen_promotions(p, WHITE, 0, l); },
         "b7b8=Q b7a8=Q"},
        {"r3k3/1P6/8/8/8/8/8/4K3 w - -", [](const Position& p, MoveEntry* l) { return gen_captures(p, WHITE, l, NO_SQUARE); }, ""},
        // Rook e8 checks the king on e1; the knight on c3 can block on e2 or e4.
        {"4r1k1/8/8/8/8/2N5/8/R3K2R w KQ -", [](const Position& p, MoveEntry* l) { return gen_quiets(p, WHITE, l, 60); },
         "c3e2 c3e4 e1d1 e1f1 e1d2 e1e2 e1f2 e1g1 e1c1"},
        {"4k3/8/8/3pP3/8/5n2/8/4K3 w - d6", [](const Position& p, MoveEntry* l) { return gen_captures(p, WHITE, l, 21); },
         "e5d6"},
        // The rook behind the knight on the e-file gives no discovered checks.
        {"4k3/8/8/8/4N3/8/8/4R1K1 w - -", [](const Position& p, MoveEntry* l) { return gen_quiet_checks(p, WHITE, l); },
         "e4d6 e4f6"},
        {"8/8/8/3k4/8/2P5/4P3/6K1 w - -", [](const Position& p, MoveEntry* l) { return gen_quiet_checks(p, WHITE, l); },
         "c3c4 e2e4"},
    };
    notation_style.uci = false;
    for (const auto& c : cases) {
        test::Board b(c.fen);
        MoveEntry list[MAX_MOVES];
        std::string texts;
        for (MoveEntry* e = list, *end = c.gen(b.pos, list); e != end; ++e) {
            char buf[MOVE_TEXT_SIZE];
            move_to_coord(b.pos, b.pos.side, e->move, buf);
            texts += (texts.empty() ? "" : " ") + std::string(buf);
        }
        EXPECT_EQ(texts, c.moves) << c.fen;
    }
    notation_style.uci = true;
}

TEST(Generators, PickBestTakesEarliestOfEqualScores) {
    MoveEntry l[5] = {{1, 5, 0, 0}, {2, 9, 0, 0}, {3, 9, 0, 0}, {4, 1, 0, 0}, {END_OF_LIST, 0, 0, 0}};
    pick_best(l);
    EXPECT_EQ(l[0].move, 2);
    EXPECT_EQ(l[1].move, 1);
    pick_best(l + 1);
    EXPECT_EQ(l[1].move, 3);
}

// Every generated move passes the check; random move codes pass it exactly
// when the generators would produce them.
TEST(PseudoLegal, AgreesWithTheGenerators) {
    for (const char* file : {"perft-standard.epd", "perft-chess960.epd"})
        for (const auto& c : test::load_perft_suite(file)) {
            test::Board b(c.fen.c_str());
            gen_ply_moves(*b.thread);
            std::vector<Move> generated;
            for (MoveEntry* e = b.thread->plies[1].list; e->move != END_OF_LIST; ++e)
                generated.push_back(e->move);
            for (uint32_t code = 0; code < 65536; code += 7) {
                const Move m = Move(code);
                const bool listed = std::find(generated.begin(), generated.end(), m) != generated.end();
                ASSERT_EQ(is_pseudo_legal(b.pos, m), listed ? 1 : 0) << c.fen << " " << m;
            }
            for (Move m : generated)
                ASSERT_EQ(is_pseudo_legal(b.pos, m), 1) << c.fen << " " << m;
        }
}

} // namespace
} // namespace zelk
