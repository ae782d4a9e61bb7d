// The strength limit behind UCI_LimitStrength and UCI_Elo: a weaker player
// searches shallower and now and then plays a second-best move, by a margin
// that shrinks as the strength grows. Its parameters follow from UCI_Elo by
// a table fitted from matches against a rated reference.
#pragma once

#include <cstdint>

#include "core/position.h"
#include "core/types.h"

namespace zelk {

struct StrengthLimit {
    bool on = false;
    int depth = 0;          // iterations at most; 0 = no cap
    int lines = 1;          // root lines searched to choose among
    int margin = 0;         // a chosen line is at most this far below the best (cp)
    int weaker_share = 0;   // per mille of moves that may be other than the best line
};

// The time of a move the table was measured at (10+0.1), in seconds.
constexpr float STRENGTH_MOVE_TIME = 0.35f;
// The longest move time that deepens the cap: beyond it a search has no clock.
constexpr float STRENGTH_MAX_MOVE_TIME = 1000.0f;

// The limit for `elo`; off at `top` (the top of the UCI_Elo range) and above.
// A capped depth grows with the planned time of the move beyond
// STRENGTH_MOVE_TIME.
StrengthLimit strength_for_elo(int elo, int top, float move_time = STRENGTH_MOVE_TIME);

// The line to play among `count` lines scored best first: the best, unless
// `draw` % 1000 falls in the weaker share; then another line within the
// margin, each weighted by how far inside the margin it lies. A line may be
// struck from the choice by giving it a score beyond the margin.
int choose_line(const int* scores, int count, const StrengthLimit& limit, uint32_t draw);

// What an exchange must win of a piece for it to count as en prise.
constexpr int EN_PRISE_LOSS = 200;

// Whether the move leaves one of the mover's pieces (not pawns) to a capture
// that wins EN_PRISE_LOSS or more by exchange. The position is restored.
bool leaves_piece_en_prise(Position& pos, Move m);

// A draw of 0 to 999,999 fixed by the game's seed and the position's key.
uint32_t strength_draw(uint64_t seed, uint64_t key);

// The seed of the next game.
uint64_t next_strength_seed(uint64_t seed);

// The Elo of a node rate on the "-nps" scale: 150 ln n + 1060.
int elo_for_node_rate(double nps);

} // namespace zelk
