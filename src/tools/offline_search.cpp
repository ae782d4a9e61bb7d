#include "tools/offline_search.h"

#include <sys/select.h>

#include "engine/control.h"
#include "engine/input.h"
#include "search/result.h"
#include "search/threads.h"
#include "search/timeman.h"

namespace zelk {

namespace {

// Sleeps without looking at the input.
void sleep_ms(int ms) {
    timeval t{0, ms * 1000};
    select(0, nullptr, nullptr, nullptr, &t);
}

} // namespace

void run_offline_search(int pause_ms) {
    start_search(STATE_OFFLINE);
    // Any state but the offline one means the search is over: finished, or
    // stopped and reset by a command ("quit" and "go" wait for the search).
    while (control.search_state.load() == STATE_OFFLINE) {
        if (pause_ms > 0)
            sleep_ms(pause_ms);
        check_time();
        // The time check leaves offline searches alone: they end at their
        // target time here (a fixed time per move: "-t", 99 s in the benchmark).
        if (result.iteration_depth.load() >= 2 && timing.elapsed >= timing.target_time)
            control.stop_flag = 1;
        command_step();
    }
    control.search_state = STATE_IDLE;
}

} // namespace zelk
