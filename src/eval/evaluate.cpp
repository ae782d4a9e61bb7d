#include "eval/evaluate.h"

#include "core/attacks.h"
#include "search/see.h"
#include "search/thread.h"

namespace zelk {

// Material only, until the hand-crafted terms land.
int evaluate(SearchThread& t, int side, int ply, int in_check, int trace) {
    (void)ply;
    (void)in_check;
    (void)trace;
    const Position& pos = t.pos;
    int score = 0;
    for (int type = PAWN; type <= QUEEN; ++type) {
        const int diff = popcount(pos.pieces[type]) - popcount(pos.pieces[8 + type]);
        score += diff * search_piece_value[type];
    }
    return side == WHITE ? score : -score;
}

void eval_setup() {
    static const int16_t values[8] = {0, 100, 350, 350, 550, 1075, 9000, 0};
    for (int i = 0; i < 8; ++i)
        search_piece_value[i] = values[i];
}

} // namespace zelk
