// Process-wide control and limit fields shared by the command loop, the
// main loop and the search, the option values the search reads, and the
// game record the commands work on. The front end writes them; the search
// reads them (and raises the stop flag).
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
    int8_t switch_depth_limit = DEPTH_UNLIMITED;   // "-d": where the limits of every "go" start
    uint64_t node_limit = 0;            // 0 = none
    float time_per_move = 5;            // seconds
    float clock_white = 5, clock_black = 5;
    float increment = 0;
    uint8_t time_control_moves = 1;     // 0 whole game, 1 fixed per move, n moves per period
    int16_t moves_to_go = 0;
    double requested_at = 0;            // monotonic seconds when "go" was read; 0 = none
    float calibration_nps = 0;
    float max_elo = 0;
    uint64_t strength_seed = 0;       // the strength limit's draws; a new one each game
    uint8_t use_hash = 1;
    uint8_t infinite = 0;               // "go infinite": the result waits for "stop"
    uint8_t quit_when_reported = 0;     // "quit" or the end of input met a search: exit after its answer
    // Console-only fields.
    uint8_t trace_level = 0;
    uint64_t trace_key = 0;
    int thread_count = 1;
};

extern EngineControl control;

// The option values the search reads, under their option names. Written by
// the front end's option setter between searches.
struct SearchSettings {
    int16_t options_changed;   // the evaluation weights must be derived again
    int32_t Hash;
    int16_t Threads;
    int16_t MoveOverhead;
    int16_t Ponder;
    int16_t MultiPV;
    int16_t UCI_LimitStrength;
    int16_t UCI_Elo;
    int16_t tb_probe_depth;
    int16_t SyzygyProbeDepth6;
    int16_t Selectivity;
    int16_t UCI_ShowWDL;       // info lines carry win/draw/loss chances
    int16_t SEP_depth;
    int16_t SEP_step;
    int16_t NMP_depth;
    int16_t FP_depth;
    int16_t FP_step;
    int16_t LMP_depth;
    int16_t LMP_step;
    int16_t LMR_depth;
    // Constants of the search's rules, options only in a tuning build.
    int16_t Razor_margin;
    int16_t NMP_base;
    int16_t NMP_divisor;
    int16_t NMP_eval_div;
    int16_t LMR_base;
    int16_t LMR_divisor;
    int16_t LMR_history;
    int16_t FP_base;
    int16_t SEE_quiet;
    int16_t SEE_capture;
    int16_t HP_margin;
    int16_t Hist_bonus;
    int16_t Hist_max;
    // Extra time per mille of the clock left: after a fail low, a fail high,
    // per score drop, while the best move is unstable; and the share of the
    // target (per mille) given back when it has stood for six iterations.
    int16_t Time_fail_low;
    int16_t Time_fail_high;
    int16_t Time_drop;
    int16_t Time_unstable;
    int16_t Time_stable;
};
extern SearchSettings search_settings;

// The search records by thread number (null when absent) and the game record.
extern std::atomic<SearchThread*> thread_table[MAX_THREADS];
extern SearchThread* game;

} // namespace zelk
