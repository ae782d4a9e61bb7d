// The engine's user-settable configuration: working values (options) and
// the defaults "uci" shows (saved_options), the one setter through which
// every named option changes, and the configuration file.
#pragma once

#include <cstdint>

namespace zelk {

struct EngineOptions {
    int16_t options_changed;
    int32_t Hash;
    int16_t Threads;
    int16_t MoveOverhead;
    int16_t Ponder;
    int16_t MultiPV;
    int16_t UCI_LimitStrength;
    int16_t UCI_Elo;
    int16_t Log;
    int16_t OwnBook;
    int16_t OwnBook_Variety;
    int16_t OwnBook_Depth;
    int16_t OwnBook2_Depth;
    int16_t eval_jitter;
    char param_file[150];
    char NN_File[150];
    char ConfigFilePath[144];
    char OwnBook_File[144];
    char OwnBook2_File[144];
    char SyzygyPath[144];
    int16_t tb_probe_depth;
    int16_t SyzygyProbeDepth6;
    int16_t Contempt;
    int16_t contempt_base;
    int16_t Selectivity;
    int16_t SEP_depth;
    int16_t SEP_step;
    int16_t NMP_depth;
    int16_t FP_depth;
    int16_t FP_step;
    int16_t LMP_depth;
    int16_t LMP_step;
    int16_t LMR_depth;
    int16_t eval_scales[13][2];
};

// Written by the command loop and start-up only; searches read them.
extern EngineOptions options;
extern EngineOptions saved_options;
extern uint8_t Use_NN_eval;     // evaluate with the network
extern uint8_t UCI_Chess960;    // castling written king-takes-rook

// Writes the start-up defaults into saved_options and copies them to options.
void options_set_defaults(const char* program_dir);

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

// Reads the file named by ConfigFilePath; 0 when it cannot be opened.
int load_config();

} // namespace zelk
