// The time allocation: the designed allotments where the clock can give them,
// and never more than the clock minus the overhead over a grid of clocks.
#include <gtest/gtest.h>

#include <algorithm>

#include "search/timeman.h"

namespace zelk {
namespace {

TEST(TimeAllotment, DesignedAllotments) {
    // ClockLimits: clock, increment, time per move, overhead, control, moves
    // to go, plies, UCI mode, ponder, Elo. -1: not checked.
    const struct {
        ClockLimits limits;
        float moves_to_go, target, min, max;
    } cases[] = {
        // Sudden death at ply 10: 27 moves to go, the clock over 28.
        {{60, 0, 0, 0.05f, 0, 0, 10, true, false, 3000}, 27, 60.0f / 28, -1, -1},
        // 1 s + 5 s at ply 40: the increment's share capped at 65 % of the clock less five overheads.
        {{1, 5, 0, 0.05f, 0, 0, 40, true, false, 3000}, 23, 0.65f - 0.05f * 5, 0.015f, -1},
        // 0.2 s + 0.01 s: target and floor down to 2 ms, so that the increment refills the clock.
        {{0.2f, 0.01f, 0, 0.05f, 0, 0, 60, true, false, 3000}, -1, 0.002f, 0.002f, 0.2f - 0.05f - 0.001f},
        // 40-move periods: "movestogo" stands in UCI mode, the console counts the period itself.
        {{5, 0, 0, 0.05f, 40, 7, 30, true, false, 3000}, 7, -1, -1, -1},
        {{5, 0, 0, 0.05f, 40, 7, 30, false, false, 3000}, 25, -1, -1, -1},
        // A fixed time runs to its end less the overhead; one shorter than the overhead answers at once.
        {{0, 0, 2, 0.05f, 1, 0, 10, true, true, 3000}, -1, 2, -1, 2 - 0.05f - 0.001f},
        {{0, 0, 0.04f, 0.05f, 1, 0, 10, true, true, 3000}, -1, -1, 0, 0},
    };
    auto expect = [](float got, float want, const char* what, int row) {
        if (want >= 0) {
            EXPECT_FLOAT_EQ(got, want) << what << " of row " << row;
        }
    };
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const TimeAllotment a = allot_time(cases[i].limits);
        expect(float(a.moves_to_go), cases[i].moves_to_go, "moves to go", i);
        expect(a.target_time, cases[i].target, "target", i);
        expect(a.min_time, cases[i].min, "floor", i);
        expect(a.max_time, cases[i].max, "most", i);
    }
}

// Clocks from 5 ms to 10 minutes, increments 0 to 1 s, 1 to 40 moves to go,
// every kind of control: the most a move may take plus the overhead never
// exceeds the clock, and the floor never exceeds the target or the clock's
// share per move.
TEST(TimeAllotment, NeverMoreThanTheClockCanGive) {
    const float clocks[] = {0.005f, 0.01f, 0.02f, 0.05f, 0.1f, 0.2f, 0.5f, 1, 2, 5, 10, 60, 600};
    const float increments[] = {0, 0.001f, 0.01f, 0.05f, 0.5f, 1};
    const float overheads[] = {0, 0.01f, 0.05f, 0.2f, 1};
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
                            }
}

} // namespace
} // namespace zelk
