// What the fuzz targets share: the engine's process state made once as
// start-up makes it, a private working folder, input bytes as files, and
// the abort that turns a broken promise into a fault libFuzzer reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelk {
struct BoardState;
}

namespace zelk::fuzz {

// Once per process: the attack and hash tables, the locks, the game record,
// default options with a 1 MB hash table, and standard input at its end.
// The engine writes its files (log, saved games, books, the inputs written
// here) into the working folder: run a target from a folder of its own, as
// fuzz/run.sh and the replay tests do.
void init_engine();

// A board of its own for the targets that set up positions (after init_engine).
BoardState& scratch_board();

// The working folder, absolute.
const std::string& work_dir();

// Writes bytes to `name` in the working folder; returns the full path.
std::string write_file(const std::string& name, const uint8_t* data, size_t size);

// The game record back at the start position with an empty history.
void reset_game();

// Reports what went wrong and aborts.
[[noreturn]] void fail(const char* what, std::string_view detail);

// The input as text (bytes past a NUL included) and as its lines split at LF.
std::string as_text(const uint8_t* data, size_t size);

// Whether a run of digits in the text reads as a number above `limit`
// (inputs asking for huge tables or many threads are cut short).
bool has_number_above(const std::string& text, long long limit);

} // namespace zelk::fuzz
