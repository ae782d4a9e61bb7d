// Non-blocking command input: one line at a time into the pending buffer,
// one '@'-terminated command at a time out of it.
#pragma once

#include <string>

namespace zelk {

// Reads waiting input without blocking, then executes at most one pending command.
void command_step();

// Ends a running search without reporting it and returns to idle.
void stop_and_wait();

// The first blank-delimited word of text after leading blanks (at most 127 characters).
std::string first_word(const char* text);

// Sleeps up to `us` microseconds, waking early when UCI input arrives; not
// at all when a command is already pending.
void wait_for_input(int us);

// Queues text as if it had been typed (commands separated by '@').
void queue_commands(const char* text);

} // namespace zelk
