#include "engine/main_loop.h"

#include <sys/select.h>

#include <cstdio>

#include "core/notation.h"
#include "engine/control.h"
#include "engine/input.h"
#include "engine/output.h"
#include "search/result.h"
#include "search/thread.h"

namespace zelk {

namespace {

void sleep_ms(int ms) {
    timeval t{0, ms * 1000};
    select(0, nullptr, nullptr, nullptr, &t);
}

// Moves a requested search to running, or straight to finished when the
// answer is known without searching.
void begin_search(uint8_t requested) {
    result.best_move = result.ponder_move = result.book_move = NO_MOVE;
    const uint8_t running = requested == STATE_SEARCH_REQUESTED ? STATE_SEARCHING : STATE_PONDERING;
    if (game->pos.halfmove > 100 || result.best_move) {
        control.search_state = uint8_t(running + STATE_FINISHED);
        return;
    }
    // No search is built yet: the request is dropped without an answer.
    control.search_state = STATE_IDLE;
}

void report_result() {
    char best[MOVE_TEXT_SIZE], ponder[MOVE_TEXT_SIZE];
    const Position& pos = game->pos;
    move_to_coord(pos, pos.side, result.best_move, best);
    move_to_coord(pos, pos.side ^ 1, result.ponder_move, ponder);
    char line[200];
    if (control.protocol_mode) {
        std::snprintf(line, sizeof line, "bestmove %s%s%s", best, result.ponder_move ? " ponder " : "",
                      result.ponder_move ? ponder : "");
        emit_line(line);
    } else {
        std::snprintf(line, sizeof line, "move= %s, time= %0.3f, score= %d, nodes= %0.0f, nps= %0.0fK ebf= %0.2f", best,
                      0.0, result.score, 0.0, 0.0, 2.0);
        emit_line(line);
        emit_line("");
    }
    control.stop_flag = 0;
    control.search_state = STATE_IDLE;
    if (control.self_play && !result.best_move)
        control.self_play = 0;
}

} // namespace

void main_loop() {
    while (!control.quit_flag) {
        if (control.search_state.load() == STATE_IDLE) {
            command_step();
            sleep_ms(2);
        }
        if (control.quit_flag)
            break;
        const uint8_t state = control.search_state.load();
        if (state == STATE_SEARCH_REQUESTED || state == STATE_PONDER_REQUESTED)
            begin_search(state);
        if (control.search_state.load() & STATE_FINISHED)
            report_result();
    }
}

} // namespace zelk
