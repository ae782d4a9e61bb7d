#include "engine/main_loop.h"

#include <sys/select.h>

#include <cstdio>
#include <cstring>

#include "core/attacks.h"
#include "core/notation.h"
#include "search/perft.h"
#include "engine/setup.h"
#include "search/control.h"
#include "engine/game.h"
#include "engine/input.h"
#include "engine/opening_book.h"
#include "engine/options.h"
#include "io/output.h"
#include "search/info.h"
#include "search/result.h"
#include "search/search.h"
#include "search/thread.h"
#include "search/threads.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace zelk {

namespace {

// The pause between passes: at most `longest` microseconds, shorter when a
// search's time limit comes sooner, so that the time check sees the limit
// when it is reached.
int pause_us(uint8_t state, int longest) {
    if (state != STATE_SEARCHING)
        return longest;
    const float left = timing.max_time - timing.elapsed;
    return left * 1e6f >= float(longest) ? longest : left > 0 ? int(left * 1e6f) : 0;
}

void sleep_us(int us) {
    timeval t{0, us};
    select(0, nullptr, nullptr, nullptr, &t);
}

// Moves a requested search to running, or straight to finished when the
// answer is known without searching.
void begin_search(uint8_t requested) {
    search_start();
    result.pv[1] = result.pv[2] = result.book_move = NO_MOVE;
    // A book move answers a normal search at once, never a ponder search.
    if (requested == STATE_SEARCH_REQUESTED && options.OwnBook) {
        if (const Move m = game_book_move()) {
            result.pv[1] = result.book_move = m;
            result.best_score = 0;
            control.stop_flag = 1;
        }
    }
    const uint8_t running = requested == STATE_SEARCH_REQUESTED ? STATE_SEARCHING : STATE_PONDERING;
    if (game->pos.halfmove > 100 || best_move()) {
        control.search_state = uint8_t(running + STATE_FINISHED);
        return;
    }
    start_search(running);
}

bool is_checkmated(SearchThread& t) {
    return is_attacked(t.pos, t.pos.king_sq[t.pos.side], t.pos.side ^ 1) && no_legal_moves(t);
}

void report_result() {
    const Move best = best_move(), ponder = ponder_move();
    // With several lines shown, the final line repeats the first one.
    print_pv_line(0, timing.multipv > 1 ? 1 : 0, result.completed_depth, result.best_score, result.pv);
    char best_text[MOVE_TEXT_SIZE], ponder_text[MOVE_TEXT_SIZE];
    const Position& pos = game->pos;
    move_to_coord(pos, pos.side, best, best_text);
    move_to_coord(pos, pos.side ^ 1, ponder, ponder_text);
    char line[400];
    clock_update();
    const double seconds = timing.elapsed;
    if (control.protocol_mode) {
        // No move to play (mate, stalemate, a draw by the fifty-move rule):
        // the final score, then UCI's null move, which interfaces read.
        if (!best) {
            emit_line(is_checkmated(*game) ? "info depth 0 score mate 0" : "info depth 0 score cp 0");
            std::strcpy(best_text, "0000");
        }
        std::snprintf(line, sizeof line, "bestmove %s%s%s", best_text, ponder ? " ponder " : "", ponder ? ponder_text : "");
        emit_line(line);
    } else {
        const double nodes = double(totals.nodes);
        std::snprintf(line, sizeof line, "move= %s, time= %0.3f, score= %d, nodes= %0.0f, nps= %0.0fK ebf= %0.2f",
                      best_text, seconds, result.best_score.load(), nodes, nodes / (seconds + 0.001) / 1000,
                      effective_branching());
        emit_line(line);
        tt_hashfull();
        auto rate = [](uint64_t hits, uint64_t probes) { return double(hits) * 100 / double(probes + 1); };
        std::snprintf(line, sizeof line,
                      "Hash fill= %.1f%%, Hash hits: main= %0.1f%%, pawn= %0.1f%%, eval= %0.1f%%, TB=%0.0fK",
                      double(tt.hashfull) * 100, rate(totals.tt_hits, totals.tt_probes),
                      rate(totals.pawn_hits, totals.pawn_probes), rate(totals.eval_hits, totals.evals),
                      double(totals.tb_hits) / 1000);
        emit_line(line);
        emit_line("");
    }
    control.stop_flag = 0;
    control.infinite = 0;
    control.search_state = STATE_IDLE;
    if (setup.self_play) {
        if (!best) {
            setup.self_play = 0;
            return;
        }
        float& clock = pos.side == WHITE ? control.clock_white : control.clock_black;
        clock += control.increment - float(seconds);
        game_make_move(best);
        show_board(game->pos);
        control.search_state = STATE_SEARCH_REQUESTED;
    }
}

// A finished search whose move may not be sent yet: a ponder search waits
// for "ponderhit" or "stop" (no move while the opponent thinks), and "go
// infinite" waits for "stop" even when it has found a mate or reached the
// deepest depth.
bool result_held(uint8_t state) {
    return state == (STATE_PONDERING | STATE_FINISHED) || (state == (STATE_SEARCHING | STATE_FINISHED) && control.infinite);
}

} // namespace

void main_loop() {
    while (!control.quit_flag) {
        clock_update();
        const uint8_t state = control.search_state.load();
        const bool young = timing.elapsed - timing.started <= 0.015f;
        if (state == STATE_IDLE || result_held(state) || (!young && !control.stop_flag)) {
            command_step();
            // A search just asked for starts at once; otherwise the pause
            // ends early when a command arrives.
            const uint8_t now = control.search_state.load();
            if (now != STATE_SEARCH_REQUESTED && now != STATE_PONDER_REQUESTED)
                wait_for_input(pause_us(state, 2000));
        } else if (state == STATE_SEARCHING || state == STATE_PONDERING) {
            // A young search or a pending stop: no input is read, and a short
            // pause rather than a busy loop leaves the processor to the search.
            sleep_us(pause_us(state, 200));
        }
        if (control.quit_flag)
            break;
        check_time();
        const uint8_t now = control.search_state.load();
        if (now == STATE_SEARCH_REQUESTED || now == STATE_PONDER_REQUESTED)
            begin_search(now);
        const uint8_t done = control.search_state.load();
        if ((done & STATE_FINISHED) && !result_held(done)) {
            report_result();
            if (control.quit_when_reported)
                control.quit_flag = 1;
        }
    }
}

} // namespace zelk
