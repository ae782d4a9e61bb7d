#include "search/timeman.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "core/position.h"
#include "search/control.h"
#include "eval/evaluate.h"
#include "io/output.h"
#include "eval/weights.h"
#include "search/result.h"
#include "search/search.h"
#include "search/thread.h"
#include "search/tt.h"

namespace zelk {

TimeState timing;

double monotonic_seconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

void wait_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void clock_reset() {
    timing.start = monotonic_seconds();
    timing.elapsed = 0;
}

void clock_update() { timing.elapsed = float(monotonic_seconds() - timing.start + 0.0001); }

namespace {

// No stop by the clock before this, unless the clock cannot give it.
constexpr float MIN_TIME = 0.015f;
// From the stop flag to the "bestmove" line.
constexpr float STOP_ALLOWANCE = 0.001f;

} // namespace

TimeAllotment allot_time(const ClockLimits& in) {
    TimeAllotment out{};
    out.moves_to_go = in.moves_to_go;
    const float overhead = std::max(in.move_overhead, 0.0f);
    if (in.time_control_moves == 1) {
        // A fixed time per move: the answer is due within it, less the overhead.
        out.target_time = in.time_per_move;
        out.max_time = std::max(in.time_per_move - overhead - STOP_ALLOWANCE, 0.0f);
        out.min_time = std::min(MIN_TIME, out.max_time);
        return out;
    }
    if (in.time_control_moves == 0)
        out.moves_to_go = in.plies < 20 ? 32 - in.plies / 2 : 23;
    else if (!in.uci) {
        const int c = in.time_control_moves;
        out.moves_to_go = c - (in.plies / 2) % c;
    }
    const int moves = std::max(out.moves_to_go, 0);
    const float clock = std::max(in.clock, 0.0f);
    const float increment = std::max(in.increment, 0.0f);
    const float increment_share = increment > 0 ? clock / (clock + 2 * increment) * increment : 0;

    float target = clock / float(moves + 1);
    if (in.ponder && moves > 2)
        target *= 1.3f;
    if (in.elo < 2400)
        target *= 0.85f;
    target += increment_share;
    target = std::min(target, clock * 0.65f - overhead * 5);
    target = std::max(target, 0.002f);

    // What the clock can give: never more than the clock minus the overhead.
    // The 15 ms floor is no more than that spread over the moves to come plus
    // most of the increment, nor more than the target: on a short clock the
    // target drops to a few milliseconds so that the increment refills it.
    const float reserve = std::max(clock - overhead - STOP_ALLOWANCE, 0.0f);
    const float share = reserve / float(std::max(moves, 1)) + increment_share;
    out.max_time = reserve;
    out.target_time = std::min(target, reserve);
    out.min_time = std::min({MIN_TIME, share, out.target_time});
    return out;
}

void search_start() {
    clock_reset();
    if (control.requested_at > 0) {
        timing.start = control.requested_at;
        control.requested_at = 0;
        clock_update();
    }
    timing.started = timing.elapsed;
    const Position& pos = game->pos;
    timing.root_side = pos.side;
    game->search_ply = 1;
    result.pv[1] = NO_MOVE;

    const bool limited = search_settings.UCI_LimitStrength && search_settings.UCI_Elo < int(control.max_elo);
    const int elo = limited ? search_settings.UCI_Elo : int(control.max_elo);

    control.stop_flag = 0;
    timing.move_overhead = float(search_settings.MoveOverhead) * 0.001f;
    result.best_score = pos.halfmove > 100 ? 0 : -SCORE_MATE;
    if (++tt.tt_age > 31)
        tt.tt_age = 1;
    result.completed_depth = 0;
    result.iteration_depth = 0;
    result.change_depth = 0;
    result.last_finished_depth = 0;
    result.only_one_move = 0;
    result.finished_line_count = 0;
    result.root_tb_result = -1;
    timing.ponder = search_settings.Ponder;
    timing.multipv = search_settings.MultiPV;
    if (search_settings.Hash < 1)
        control.use_hash = 0;
    build_history_bonus();
    for (int d = 0; d < MAX_PLY; ++d) {
        result.depth_score[d] = -SCORE_INFINITE;
        result.depth_move[d] = NO_MOVE;
        result.depth_nodes[d] = 0;
    }
    if (search_settings.options_changed) {
        emit_line("info string setting eval params...");
        init_eval_params();
        search_settings.options_changed = 0;
    }

    const int n = game->history_count;
    float& clock = pos.side == WHITE ? control.clock_white : control.clock_black;
    if (control.time_control_moves == 1)
        clock = control.time_per_move;
    const TimeAllotment allotted =
        allot_time({clock, control.increment, control.time_per_move, timing.move_overhead, control.time_control_moves,
                    control.moves_to_go, n, control.protocol_mode != 0, search_settings.Ponder != 0,
                    elo});
    control.moves_to_go = int16_t(allotted.moves_to_go);
    timing.target_time = allotted.target_time;
    timing.max_time = allotted.max_time;
    timing.min_time = allotted.min_time;
    // The strength limit's depth follows the time control: the planned time,
    // but on an increment clock at most 3.5 increments (about what 10+0.1 and
    // 60+0.6 plan at the start), since a capped level spends little and its
    // clock grows. A search without a clock ("go depth", "nodes", "infinite")
    // keeps the table's depth.
    float move_time = timing.target_time < STRENGTH_MAX_MOVE_TIME ? timing.target_time : STRENGTH_MOVE_TIME;
    if (control.time_control_moves != 1 && control.increment > 0)
        move_time = std::min(move_time, 3.5f * control.increment);
    timing.strength = limited ? strength_for_elo(search_settings.UCI_Elo, int(control.max_elo), move_time)
                              : StrengthLimit{};
    timing.lines = timing.strength.on ? std::max(timing.multipv, timing.strength.lines) : timing.multipv;
    // The contempt term reads the root side and the target time, the jitter the game's length.
    eval_settings.root_side = uint8_t(timing.root_side);
    eval_settings.game_plies = game->history_count;
    eval_settings.target_time = timing.target_time;

    if (control.noise < 9999) {
        char fen[FEN_BUFFER_SIZE];
        pos_to_fen(pos, fen, false);
        char line[200];
        if (control.protocol_mode) {
            std::snprintf(line, sizeof line, "info string fen %s", fen);
            log_line(line);
            std::snprintf(line, sizeof line, "info string ply= %d, trg_time= %0.3f sec", n, double(timing.target_time));
            log_line(line);
        } else {
            std::snprintf(line, sizeof line, "fen %s", fen);
            emit_line(line);
            std::snprintf(line, sizeof line, "Ply= %d, cnt50= %d, Clock= %0.2fs, Target time= %0.2fs", n, pos.halfmove,
                          double(clock), double(timing.target_time));
            emit_line(line);
        }
    }
}

void check_time() {
    clock_update();
    SearchThread* main = thread_table[0];
    const float elapsed = timing.elapsed;
    if (!main || control.stop_flag || control.search_state.load() != STATE_SEARCHING)
        return;
    // The clock's limit ends the search at any depth: an unfinished first
    // iteration answers with the hash move or the first legal move.
    if (elapsed >= timing.max_time) {
        control.stop_flag = 1;
        return;
    }
    if (result.iteration_depth.load() < 2 || elapsed < timing.min_time)
        return;
    const int d = result.iteration_depth;
    const float clock = timing.root_side == WHITE ? control.clock_white : control.clock_black;
    float left = clock - elapsed;
    if (left < 0)
        left = 0;
    const float margin = control.time_control_moves == 1 ? 0 : std::min(timing.move_overhead, 0.025f);
    const int best = result.best_score;
    const int s = std::abs(best) < 336 ? 20 : std::abs(best) >> 4;
    float limit = timing.target_time;
    if (control.time_control_moves != 1) {
        const SearchSettings& ss = search_settings;
        const float per_mille = left * 0.001f;
        float extra = 0;
        const int fail = main->fail_state;
        if (fail == 1) {
            extra = per_mille * float(ss.Time_fail_low);
        } else if (fail == 2) {
            extra = per_mille * float(ss.Time_fail_high);
        } else if (d >= 4) {
            if (best <= result.depth_score[d - 1] - s)
                extra += per_mille * float(ss.Time_drop);
            if (best <= result.depth_score[d - 2] - s)
                extra += per_mille * float(ss.Time_drop);
            const int since_change = d - result.change_depth;
            if (since_change < 3)
                extra += per_mille * float(ss.Time_unstable);
            if (since_change > 5)
                extra -= timing.target_time * 0.001f * float(ss.Time_stable);
        }
        if (extra < left * 0.08f) {
            for (int i = 1; i < control.thread_count && i < MAX_THREADS; ++i) {
                const SearchThread* other = thread_table[i];
                if (!other)
                    break;
                if (other->best_score > best + s + 5 && other->completed_depth >= result.completed_depth) {
                    extra = left * 0.08f;
                    break;
                }
            }
        }
        limit += extra;
    }
    if ((result.only_one_move && d > 5) || elapsed >= limit - margin || left < margin * 5)
        control.stop_flag = 1;
}

} // namespace zelk
