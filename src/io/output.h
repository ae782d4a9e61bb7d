// The one exit for every output line: standard output and its log copy,
// under the output lock so that lines of different threads never mix.
// Every floor above the position core and the evaluation may write here.
#pragma once

namespace zelk {

// Writes text plus a line end to standard output, flushes, and copies the
// line to the log. Safe to call from any thread.
void emit_line(const char* text);

// Writes text plus a line end to the log when logging is on and the log is open.
void log_line(const char* text);

// 1 from start-up (and after "debug"): every UCI command line is logged as "CMD: %s".
extern int command_echo;

// Turns logging on or off. The first time it is turned on, "zelk.log" in the
// working directory is opened afresh (an old one is removed; when it cannot be,
// "log file in use." is printed). Returns whether logging is now on.
bool set_logging(bool on);
void close_log();

} // namespace zelk
