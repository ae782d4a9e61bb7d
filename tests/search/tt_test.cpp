#include <gtest/gtest.h>

#include "core/position.h"
#include "search/control.h"
#include "helpers.h"
#include "search/tt.h"

namespace zelk {
namespace {

TTEntry probe(const Position& pos) {
    TTEntry e{};
    e.depth = -10;
    tt_probe(pos, e);
    return e;
}

struct TableTest : ::testing::Test {
    void SetUp() override {
        tt_clear();
        tt.tt_age = 1;
    }
};

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
    // shallowest is dropped, 7 plies shallower replaces it.
    tt_clear();
    test::Board other;
    Position p = other.pos;
    auto with_key = [&](uint64_t key) {
        Position q = p;
        q.key = key;
        return q;
    };
    const uint64_t base = 12345;
    for (int i = 0; i < 4; ++i)
        tt_store(with_key(base + (uint64_t(i + 1) << 40) * 65536), 1, 20 + i, NO_MOVE, 0, -1, 1);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(probe(with_key(base + (uint64_t(i + 1) << 40) * 65536)).depth, 20 + i);
    const Position newcomer = with_key(base + (uint64_t(9) << 40) * 65536);
    tt_store(newcomer, 1, 12, NO_MOVE, 0, -1, 1);
    EXPECT_LT(probe(newcomer).depth, 0) << "8 shallower: dropped";
    tt_store(newcomer, 1, 13, NO_MOVE, 0, -1, 1);
    EXPECT_EQ(probe(newcomer).depth, 13);
    EXPECT_LT(probe(with_key(base + (uint64_t(1) << 40) * 65536)).depth, 0) << "the shallowest was the victim";
    // An entry from an older search is taken first.
    tt.tt_age = 2;
    const Position late = with_key(base + (uint64_t(10) << 40) * 65536);
    tt_store(late, 1, 0, NO_MOVE, 0, -1, 1);
    EXPECT_EQ(probe(late).depth, 0);
}

TEST_F(TableTest, LastBucketStaysInside) {
    test::Board b;
    Position p = b.pos;
    ASSERT_EQ(tt.count, 65536u);
    p.key = (uint64_t(77) << 32) | 65535;   // index 65535: the bucket runs into the spare entries
    tt_store(p, 1, 4, NO_MOVE, 10, 0, 100);
    EXPECT_EQ(probe(p).depth, 4);
}

TEST_F(TableTest, BadMovesAndTornEntriesAreRejected) {
    test::Board b;
    const Move e2e4 = make_move_code(12, 28), e2e5 = make_move_code(12, 36);
    tt_store(b.pos, 1, 4, e2e4, 10, 0, 100);
    EXPECT_EQ(probe(b.pos).move, e2e4);
    tt_store(b.pos, 1, 4, e2e5, 10, 0, 100);
    EXPECT_EQ(probe(b.pos).depth, -99);
    // Clearing leaves every entry empty and hashfull at 0.
    tt_store(b.pos, 1, 4, e2e4, 10, 0, 100);
    tt_clear();
    EXPECT_LT(probe(b.pos).depth, 0);
    tt_hashfull();
    EXPECT_EQ(tt.hashfull, 0.0f);
}

} // namespace
} // namespace zelk
