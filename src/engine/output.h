// The one exit for every output line: standard output and its log copy,
// under the output lock so that lines of different threads never mix.
#pragma once

namespace zelk {

// Writes text plus a line end to standard output, flushes, and copies the
// line to the log. Safe to call from any thread.
void emit_line(const char* text);

// Writes text plus a line end to the log when logging is on and the log is open.
void log_line(const char* text);

// 1 from start-up (and after "debug"): every UCI command line is logged as "CMD: %s".
extern int command_echo;

// Opens "zelk.log" in the working directory once per process.
void open_log();
void close_log();

} // namespace zelk
