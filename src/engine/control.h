// Process-wide control and limit fields shared by the command loop, the
// main loop and the search, and the game record the commands work on.
#pragma once

#include <atomic>
#include <cstdint>

namespace zelk {

struct SearchThread;

// search_state values; FINISHED is added by whoever ends a search.
enum SearchStateValue : uint8_t {
    STATE_IDLE = 0,
    STATE_SEARCH_REQUESTED = 1,
    STATE_PONDER_REQUESTED = 2,
    STATE_SEARCHING = 3,
    STATE_PONDERING = 4,
    STATE_OFFLINE = 5,
    STATE_FINISHED = 16,
};

constexpr int MAX_THREADS = 160;
constexpr int DEPTH_UNLIMITED = 66;

// Offline jobs chosen by the command-line switches.
enum class OfflineJob : uint8_t {
    NONE, EPD_ANALYSIS, PGN_SCAN1, PGN_SCAN2, PGN_SCAN3, PGN_SCAN4, BENCH, BENCH_INERT, BENCH_DIRECT,
    MAKE_BOOK, MAKE_CONFIG, TUNE_DATA1, TUNE_DATA2, TRAIN_DATA, TUNE, TUNE2,
};

// The flags are written by the main thread, the search master and the
// time check, and read by every search thread: atomics. The limits are
// written by the command loop between searches only.
struct EngineControl {
    std::atomic<uint8_t> search_state{0};
    std::atomic<uint8_t> stop_flag{0};
    std::atomic<uint8_t> quit_flag{0};
    int16_t protocol_mode = 1;          // 1 = UCI, 0 = console
    float noise = 0;                    // 9999 or more silences diagnostics
    int8_t depth_limit = DEPTH_UNLIMITED;
    uint64_t node_limit = 0;            // 0 = none
    float time_per_move = 5;            // seconds
    float clock_white = 5, clock_black = 5;
    float increment = 0;
    uint8_t time_control_moves = 1;     // 0 whole game, 1 fixed per move, n moves per period
    int16_t moves_to_go = 0;
    float target_nps = 0;
    float calibration_nps = 0;
    float max_elo = 0;
    int32_t self_play = 0;
    uint8_t use_hash = 1;
    // Console-only fields.
    uint8_t trace_level = 0;
    uint8_t eval_debug = 0;
    uint64_t trace_key = 0;
    // Start-up results.
    char program_dir[200] = {};
    OfflineJob job = OfflineJob::NONE;
    char job_input[140] = {};
    char job_output[140] = {};
    char pgn_input[140] = {};
    int thread_count = 1;
};

extern EngineControl control;

// The search records by thread number (null when absent) and the game record.
extern std::atomic<SearchThread*> thread_table[MAX_THREADS];
extern SearchThread* game;

} // namespace zelk
