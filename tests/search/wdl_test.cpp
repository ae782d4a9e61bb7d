// The win/draw/loss model: chances that sum to 1000, move the right way with
// the score and mirror between the sides; decided scores are sure results.
#include <gtest/gtest.h>

#include "helpers.h"
#include "search/wdl.h"

namespace zelk {
using test::Board;
namespace {

TEST(Wdl, ChancesSumToAThousandAndFollowTheScore) {
    for (int material = 0; material <= 100; material += 4) {
        WdlChances before = wdl_from_score(-2000, material);
        for (int score = -2000; score <= 2000; score += 5) {
            const WdlChances c = wdl_from_score(score, material);
            ASSERT_EQ(c.win + c.draw + c.loss, 1000) << score << " " << material;
            ASSERT_TRUE(c.win >= 0 && c.draw >= 0 && c.loss >= 0) << score << " " << material;
            EXPECT_GE(c.win, before.win) << score << " " << material;
            EXPECT_LE(c.loss, before.loss) << score << " " << material;
            const WdlChances mirror = wdl_from_score(-score, material);
            EXPECT_EQ(c.win, mirror.loss) << score << " " << material;
            before = c;
        }
        const WdlChances level = wdl_from_score(0, material);
        EXPECT_EQ(level.win, level.loss);
        EXPECT_GT(level.draw, 200) << material;
        EXPECT_GT(wdl_from_score(1500, material).win, 900) << material;
    }
    for (int score : {9000, 9799, 9800, 9999})
        EXPECT_EQ(wdl_from_score(score, 40).win, 1000);
    for (int score : {-9000, -9800, -9999})
        EXPECT_EQ(wdl_from_score(score, 40).loss, 1000);
}

TEST(Wdl, MaterialCountsBothSides) {
    EXPECT_EQ(wdl_material(Board().pos), 80);
    EXPECT_EQ(wdl_material(Board("8/8/8/4k3/8/8/8/3QK3 w - -").pos), 10);
    EXPECT_EQ(wdl_material(Board("4k3/pp6/8/8/8/8/2P5/1N2KR2 w - -").pos), 11);
}

} // namespace
} // namespace zelk
