// Starting, running and joining the search threads.
#pragma once

#include <cstdint>

namespace zelk {

// Sets the search state, clears the stop flag and starts the detached
// master thread. Returns at once.
void start_search(uint8_t state);

// Prepares thread i's record from the game record; 0, or -1 without memory.
int thread_setup(int i);

// The master's work, also run directly on the calling thread by the
// start-up calibration and the direct benchmark.
void main_search_thread(int thread_number);

} // namespace zelk
