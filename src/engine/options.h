// The engine's user-settable configuration: working values (options) and
// the defaults "uci" shows (saved_options), the one setter through which
// every named option changes, and the configuration file.
#pragma once

#include <cstdint>

#include "eval/evaluate.h"
#include "nn/network.h"
#include "search/control.h"

namespace zelk {

struct EngineOptions {
    int16_t Log;
    int16_t OwnBook;
    int16_t OwnBook_Variety;
    int16_t OwnBook_Depth;
    int16_t OwnBook2_Depth;
    char NN_File[150];
    char ConfigFilePath[144];
    char OwnBook_File[144];
    char OwnBook2_File[144];
    char SyzygyPath[144];
};

// The option values only the front end reads. The values the search, the
// evaluation and the move notation read live in their own records
// (search_settings, eval_settings, notation_style); this setter writes all
// of them. Written by the command loop and start-up only.
extern EngineOptions options;

// The defaults "uci" shows, and what the console's "set ss 1" restores.
struct SavedOptions {
    EngineOptions engine;
    SearchSettings search;
    EvalSettings eval;
};
extern SavedOptions saved_options;

// Writes the start-up defaults into saved_options and copies them to the
// working records.
void options_set_defaults(const char* program_dir);
void save_options();
void restore_saved_options();

// Copies text into a fixed field, cut to its size minus one.
template <int N>
void copy_text(char (&field)[N], const char* text) {
    int i = 0;
    for (; i < N - 1 && text[i]; ++i)
        field[i] = text[i];
    field[i] = 0;
}

// Changes the named option (names compared exactly); unknown names change nothing.
void set_option(const char* name, const char* value);
int parse_int_option(const char* name, const char* value, int min, int max);
int parse_bool_option(const char* name, const char* value);

// Loads the network file named by NN_File. Out of memory ends the process
// (status 0) after "allocating memory for net failed!".
NnLoad load_network_option();

// Reads the file named by ConfigFilePath; 0 when it cannot be opened.
int load_config();

// The search constants a tuner sets: UCI spin options in the tuning build,
// with their range and the SPSA step (c_end) and rate (r_end) at the end.
struct TunableSetting {
    const char* name;
    int16_t SearchSettings::*field;
    int min, max;
    double c_end, r_end;
};
constexpr int TUNABLE_COUNT = 27;
extern const TunableSetting TUNABLE_SETTINGS[TUNABLE_COUNT];

// "spsa": one line "Name, int, value, min, max, c_end, r_end" per tunable
// setting, the value being its default.
void print_spsa_list();

} // namespace zelk
