#include "tools/offline_search.h"

#include <sys/select.h>

#include "engine/control.h"
#include "engine/input.h"
#include "search/threads.h"
#include "search/timeman.h"

namespace zelk {

void sleep_ms(int ms) {
    timeval t{0, ms * 1000};
    select(0, nullptr, nullptr, nullptr, &t);
}

void run_offline_search(int pause_ms) {
    start_search(STATE_OFFLINE);
    // Any state but the offline one means the search is over: finished, or
    // stopped and reset by a command ("quit" and "go" wait for the search).
    while (control.search_state.load() == STATE_OFFLINE) {
        if (pause_ms > 0)
            sleep_ms(pause_ms);
        check_time();
        command_step();
    }
    control.search_state = STATE_IDLE;
    control.stop_flag = 0;
}

} // namespace zelk
