// One search of the game position for an offline job, run on the search
// threads while the calling thread keeps the command loop going.
#pragma once

namespace zelk {

// Starts the search in the offline state and returns once it has finished
// or a "quit" has ended it, leaving the engine idle (the stop flag stays
// as the search left it, for the final report). Each waiting pass
// sleeps `pause_ms` milliseconds (0: none), stops the search once its
// target time has passed, and calls offline_poll.
void run_offline_search(int pause_ms);

// Runs the search on the calling thread in the offline state, with nothing
// waiting beside it: for jobs that end their searches by depth or nodes, so
// that no thread spins on the clock and none is started per search. Calls
// offline_poll once afterwards, so that "quit" still ends the job. Leaves
// the engine idle.
void run_direct_search();

// Called once per waiting pass when set: the front end installs its command
// step here, so that "quit" and "stop" still reach an offline job.
extern void (*offline_poll)();

} // namespace zelk
