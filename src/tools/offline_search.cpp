#include "tools/offline_search.h"

#include "search/control.h"
#include "search/result.h"
#include "search/threads.h"
#include "search/timeman.h"

namespace zelk {

void (*offline_poll)() = nullptr;

void run_offline_search(int pause_ms) {
    start_search(STATE_OFFLINE);
    // Any state but the offline one means the search is over: finished, or
    // stopped and reset by a command ("quit" and "go" wait for the search).
    while (control.search_state.load() == STATE_OFFLINE) {
        if (pause_ms > 0)
            wait_ms(pause_ms);
        check_time();
        // The time check leaves offline searches alone: they end at their
        // target time here (a fixed time per move: "-t", 99 s in the benchmark).
        if (result.iteration_depth.load() >= 2 && timing.elapsed >= timing.target_time)
            control.stop_flag = 1;
        if (offline_poll)
            offline_poll();
    }
    control.search_state = STATE_IDLE;
}

void run_direct_search() {
    control.search_state = STATE_OFFLINE;
    control.stop_flag = 0;
    main_search_thread(0);   // joins its helpers before it returns
    control.search_state = STATE_IDLE;
    if (offline_poll)
        offline_poll();
}

} // namespace zelk
