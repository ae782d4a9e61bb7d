// Table entries read back by the search mean at any distance from the root
// what they meant where they were stored, for every bound (mate scores
// re-based, others faded with the fifty-move counter); replacement rules.
#include <gtest/gtest.h>

#include <string>

#include "core/position.h"
#include "core/types.h"
#include "helpers.h"
#include "search/control.h"
#include "search/result.h"
#include "search/search.h"
#include "search/thread.h"
#include "search/tt.h"

namespace zelk {
namespace {

constexpr int UPPER = 1, LOWER = 2, EXACT = 3;
constexpr int ENTRY_DEPTH = 3;

// A null-window node's score, and whether the entry cut it off (the node
// counted itself and nothing else).
struct Seen {
    int score;
    bool cut;
};

struct TableTest : ::testing::Test {
    test::Board board{"r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -"};

    int16_t saved_selectivity = 0;

    // Pruning off, so that one counted node tells a cut-off.
    void SetUp() override {
        tt_clear();
        tt.tt_age = 1;
        control.use_hash = 1;
        control.stop_flag = 0;
        board.thread->node_limit = uint64_t(1) << 62;
        saved_selectivity = search_settings.Selectivity;
        search_settings.Selectivity = 0;
        set_search_params();
    }
    void TearDown() override {
        search_settings.Selectivity = saved_selectivity;
        set_search_params();
    }

    // The entry under test, stored by a search at `ply` with a window that
    // gives `bound`; stored again before every probe.
    struct Entry {
        int ply, score, bound, depth = ENTRY_DEPTH, fifty = 0;
    } entry{};

    // Searches at `ply`, window (alpha, alpha + 1), depth 1, counter `fifty`.
    Seen search_at(int ply, int alpha, int null_window = 1, int fifty = -1) {
        const Entry& e = entry;
        board.pos.halfmove = uint8_t(e.fifty);
        tt_store(board.pos, e.ply, e.depth, NO_MOVE, e.score, e.bound == UPPER ? e.score : e.score - 1,
                 e.bound == LOWER ? e.score : e.score + 1);
        board.pos.halfmove = uint8_t(fifty < 0 ? e.fifty : fifty);
        SearchThread& t = *board.thread;
        t.search_ply = int16_t(ply);
        t.plies[ply].list = t.move_stack;
        const uint64_t before = t.nodes;
        Move pv[PV_SIZE + 2] = {};
        const int score = search(t, board.pos.side, ply, 1, alpha, alpha + 1, null_window, pv);
        board.pos.halfmove = 0;
        return {score, t.nodes == before + 1};
    }

    // The entry seen at `ply` as `v`: exactly the cut-offs its bound allows.
    void expect_seen(int ply, int v, const std::string& what, int fifty = -1) {
        SCOPED_TRACE(what + ", read at ply " + std::to_string(ply) + ", expected " + std::to_string(v));
        const Seen beta_at_v = search_at(ply, v - 1, 1, fifty);   // cut by a lower bound or exact entry
        const Seen alpha_at_v = search_at(ply, v, 1, fifty);      // cut by an upper bound or exact entry
        EXPECT_EQ(beta_at_v.cut, entry.bound != UPPER) << "fails high at beta = v";
        EXPECT_EQ(alpha_at_v.cut, entry.bound != LOWER) << "fails low at alpha = v";
        EXPECT_TRUE(!beta_at_v.cut || beta_at_v.score == v) << beta_at_v.score;
        EXPECT_TRUE(!alpha_at_v.cut || alpha_at_v.score == v) << alpha_at_v.score;
    }
};

// Scores as they leave a node at `ply`, and what they mean at `other`.
int rebased(int score, int ply, int other) {
    if (score >= 9799)
        return score + ply - other;
    if (score < -9799)
        return score - ply + other;
    return score;
}

TEST_F(TableTest, EveryBoundAndScoreAtOtherPlies) {
    const int plies[] = {1, 2, 5, 12, 30};
    for (int bound : {UPPER, LOWER, EXACT})
        for (int stored_at : plies)
            for (int read_at : plies) {
                // Mate and mated in one at the storing node, mates and tablebase results
                // below it, the boundary values on either side, ordinary scores.
                const int scores[] = {SCORE_MATE - 1 - stored_at, SCORE_MATE - stored_at - 3, SCORE_MATE - stored_at - 9,
                                      9800 - stored_at - 3, 9799, 9798, 37, 0, -37, -9799, -9800, stored_at + 1 - SCORE_MATE,
                                      stored_at + 2 - SCORE_MATE, stored_at + 8 - SCORE_MATE, stored_at + 4 - 9801};
                for (int score : scores) {
                    const int v = rebased(score, stored_at, read_at);
                    // Mate-distance pruning closes the window above a mate in
                    // one before the table is asked: only an exact entry shows.
                    if (bound != EXACT && v >= SCORE_MATE - 1 - read_at)
                        continue;
                    entry = {stored_at, score, bound};
                    expect_seen(read_at, v,
                                "bound " + std::to_string(bound) + ", score " + std::to_string(score) +
                                    " stored at ply " + std::to_string(stored_at));
                    if (HasFailure())
                        return;
                }
            }
}

TEST_F(TableTest, ScoresFadeWithTheFiftyMoveCounter) {
    const struct {
        int stored_fifty, read_fifty, score, seen;
    } cases[] = {
        {10, 42, 200, 175},    // 200 - 200 * 32 / 256
        {10, 42, 201, 176},    // truncated toward zero...
        {10, 42, -201, -176},  // ...on both sides
        {42, 10, 201, 226},    // a lower counter than at storing raises the score
        {10, 90, 9999 - 7 - 4, 9999 - 7 - 4},   // mates never fade (stored and read at ply 7)
        {10, 90, 7 + 4 - SCORE_MATE, 7 + 4 - SCORE_MATE},
    };
    for (const auto& c : cases) {
        entry = {7, c.score, EXACT, ENTRY_DEPTH, c.stored_fifty};
        expect_seen(7, c.seen, "fifty " + std::to_string(c.stored_fifty) + " -> " + std::to_string(c.read_fifty),
                    c.read_fifty);
    }
}

TEST_F(TableTest, CutOffsOnlyWhereAllowed) {
    entry = {3, 50, EXACT};
    EXPECT_TRUE(search_at(3, 20).cut);
    EXPECT_FALSE(search_at(3, 20, 0).cut) << "no cut-off at a PV node";
    // Entry depth + fifty-move counter must stay below 100.
    EXPECT_TRUE(search_at(3, 20, 1, 100 - ENTRY_DEPTH - 1).cut);
    EXPECT_FALSE(search_at(3, 20, 1, 100 - ENTRY_DEPTH).cut);
    // An entry shallower than the node's remaining depth only orders moves.
    entry.depth = 0;
    EXPECT_FALSE(search_at(3, 20).cut);
}

TTEntry probe(const Position& pos) {
    TTEntry e{};
    e.depth = -10;
    tt_probe(pos, e);
    return e;
}

TEST_F(TableTest, ReplacementRules) {
    test::Board b;
    // Same position: a shallower result keeps an exact entry more than 3 plies deeper...
    tt_store(b.pos, 1, 10, NO_MOVE, 50, 0, 100);
    tt_store(b.pos, 1, 6, NO_MOVE, 60, 0, 100);
    EXPECT_EQ(probe(b.pos).depth, 10);
    tt_store(b.pos, 1, 7, NO_MOVE, 60, 0, 100);
    EXPECT_EQ(probe(b.pos).depth, 7) << "3 plies shallower replaces";
    // ...but replaces an upper bound.
    tt_store(b.pos, 1, 12, NO_MOVE, -50, 0, 100);
    tt_store(b.pos, 1, 2, NO_MOVE, 60, 0, 100);
    EXPECT_EQ(probe(b.pos).depth, 2);

    // Four current entries in one bucket: a store 8 plies shallower than the
    // shallowest is dropped, 7 plies shallower replaces it. The last bucket,
    // which runs into the spare entries past the end.
    tt_clear();
    ASSERT_EQ(tt.count, 65536u);
    // Positions n = 1, 2, ... whose keys share the bucket index and differ above it.
    auto in_bucket = [&](uint64_t n) {
        Position q = b.pos;
        q.key = 65535 + (n << 56);
        return q;
    };
    for (int i = 0; i < 4; ++i)
        tt_store(in_bucket(i + 1), 1, 20 + i, NO_MOVE, 0, -1, 1);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(probe(in_bucket(i + 1)).depth, 20 + i);
    const Position newcomer = in_bucket(9);
    tt_store(newcomer, 1, 12, NO_MOVE, 0, -1, 1);
    EXPECT_LT(probe(newcomer).depth, 0) << "8 shallower: dropped";
    tt_store(newcomer, 1, 13, NO_MOVE, 0, -1, 1);
    EXPECT_EQ(probe(newcomer).depth, 13);
    EXPECT_LT(probe(in_bucket(1)).depth, 0) << "the shallowest was the victim";
    // An entry from an older search is taken first.
    tt.tt_age = 2;
    const Position late = in_bucket(10);
    tt_store(late, 1, 0, NO_MOVE, 0, -1, 1);
    EXPECT_EQ(probe(late).depth, 0);
}

TEST_F(TableTest, IllegalMovesAreRejected) {
    test::Board b;
    const Move e2e4 = make_move_code(12, 28), e2e5 = make_move_code(12, 36);
    tt_store(b.pos, 1, 4, e2e4, 10, 0, 100);
    EXPECT_EQ(probe(b.pos).move, e2e4);
    tt_store(b.pos, 1, 4, e2e5, 10, 0, 100);
    EXPECT_EQ(probe(b.pos).depth, -99);
}

} // namespace
} // namespace zelk
