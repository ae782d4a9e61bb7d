// What the front end alone keeps about this run: the program's directory,
// the offline job the switches chose with its files, and the console's
// self-play and evaluation-display flags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelk {

// Offline jobs chosen by the command-line switches.
enum class OfflineJob : uint8_t {
    NONE, EPD_ANALYSIS, PGN_SCAN1, PGN_SCAN2, PGN_SCAN3, PGN_SCAN4, BENCH, BENCH_INERT, BENCH_DIRECT,
    MAKE_BOOK, MAKE_CONFIG, TUNE_DATA1, TUNE_DATA2, TRAIN_DATA, TUNE, TUNE2, SIGNATURE_BENCH,
};

struct EngineSetup {
    char program_dir[200] = {};
    OfflineJob job = OfflineJob::NONE;
    char job_input[140] = {};
    char job_output[140] = {};
    char pgn_input[140] = {};
    int64_t job_count = 0;      // "-mktraindata", "-tune", "-tune2": their numeric values
    int64_t job_number = 0;
    int job_digit = -1;
    uint32_t seed = 1;          // "-seed"
    int32_t self_play = 0;
    uint8_t eval_debug = 0;
    std::vector<std::string> command_words;   // command-line words that are not switches
    bool tuning_build = false;                  // zelk-tune: the tunable search settings are options
};

extern EngineSetup setup;

// UCI (1) or console (0): the protocol mode and the move notation that goes with it.
void set_protocol_mode(int mode);

} // namespace zelk
