// The time allocation: the designed target where the clock can give it, and
// never more than the clock minus the overhead, over a grid of clocks.
#include <gtest/gtest.h>

#include <algorithm>

#include "search/timeman.h"

namespace zelk {
namespace {

ClockLimits sudden_death(float clock, float increment, int plies, float overhead = 0.05f) {
    return {clock, increment, 0, overhead, 0, 0, plies, true, false, 3000};
}

TEST(TimeAllotment, DesignedTargetsWhereTheClockAllows) {
    // 60 s, no increment, ply 10: 27 moves to go, 60 / 28.
    TimeAllotment a = allot_time(sudden_death(60, 0, 10));
    EXPECT_EQ(a.moves_to_go, 27);
    EXPECT_FLOAT_EQ(a.target_time, 60.0f / 28);
    // 1 s with a 5 s increment at ply 40: the share of the increment is
    // capped at 65 % of the clock less five overheads.
    a = allot_time(sudden_death(1, 5, 40));
    EXPECT_EQ(a.moves_to_go, 23);
    EXPECT_FLOAT_EQ(a.target_time, 0.65f - 0.05f * 5);
    EXPECT_FLOAT_EQ(a.min_time, 0.015f);
    // 0.2 s + 0.01 s: the target is down to its 2 ms minimum, and so is the
    // floor, so that the increment refills the clock.
    a = allot_time(sudden_death(0.2f, 0.01f, 60));
    EXPECT_FLOAT_EQ(a.target_time, 0.002f);
    EXPECT_FLOAT_EQ(a.min_time, 0.002f);
    EXPECT_FLOAT_EQ(a.max_time, 0.2f - 0.05f - 0.001f);
}

TEST(TimeAllotment, MovesToGoByControl) {
    ClockLimits c = sudden_death(5, 0, 4);
    EXPECT_EQ(allot_time(c).moves_to_go, 30);
    c.time_control_moves = 40;
    c.moves_to_go = 7;
    EXPECT_EQ(allot_time(c).moves_to_go, 7);   // "movestogo" stands in UCI mode
    c.uci = false;
    c.plies = 30;
    EXPECT_EQ(allot_time(c).moves_to_go, 25);  // the console counts the period itself
}

TEST(TimeAllotment, FixedTimeAnswersWithinItLessTheOverhead) {
    ClockLimits c{0, 0, 2.0f, 0.05f, 1, 0, 10, true, true, 3000};
    TimeAllotment a = allot_time(c);
    EXPECT_FLOAT_EQ(a.target_time, 2.0f);   // offline jobs run to the full time
    EXPECT_FLOAT_EQ(a.max_time, 2.0f - 0.05f - 0.001f);
    c.time_per_move = 0.04f;                // shorter than the overhead: answer at once
    a = allot_time(c);
    EXPECT_EQ(a.max_time, 0.0f);
    EXPECT_EQ(a.min_time, 0.0f);
}

// Clocks from 5 ms to 10 minutes, increments 0 to 1 s, 1 to 40 moves to go,
// every kind of control: the most a move may take plus the overhead never
// exceeds the clock, and the floor never exceeds the target or the clock's
// share per move.
TEST(TimeAllotment, NeverMoreThanTheClockCanGive) {
    const float clocks[] = {0.005f, 0.01f, 0.02f, 0.05f, 0.1f, 0.2f, 0.5f, 1, 2, 5, 10, 60, 600};
    const float increments[] = {0, 0.001f, 0.01f, 0.05f, 0.5f, 1};
    const float overheads[] = {0, 0.01f, 0.05f, 0.2f, 1};
    int checked = 0;
    for (float clock : clocks)
        for (float increment : increments)
            for (float overhead : overheads)
                for (int moves = 1; moves <= 40; ++moves)
                    for (int control : {0, 40})
                        for (int plies : {0, 30, 200})
                            for (bool ponder : {false, true}) {
                                const ClockLimits c{clock, increment, 0,     overhead, control,
                                                    moves, plies,     true,  ponder,   2000 + 1000 * ponder};
                                const TimeAllotment a = allot_time(c);
                                const float reserve = std::max(clock - overhead, 0.0f);
                                const float share = reserve / float(std::max(a.moves_to_go, 1)) + increment;
                                ASSERT_LE(a.max_time + overhead, std::max(clock, overhead))
                                    << clock << " " << increment << " " << overhead << " " << moves;
                                ASSERT_LE(a.max_time, reserve);
                                ASSERT_LE(a.target_time, a.max_time) << clock << " " << increment;
                                ASSERT_LE(a.min_time, std::min({share, a.target_time, 0.015f}))
                                    << clock << " " << increment;
                                ASSERT_GE(a.min_time, 0.0f);
                                ++checked;
                            }
    EXPECT_EQ(checked, 13 * 6 * 5 * 40 * 2 * 3 * 2);
}

} // namespace
} // namespace zelk
