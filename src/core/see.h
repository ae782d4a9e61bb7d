// Static exchange evaluation: what a capture sequence on one square wins.
#pragma once

#include <cstdint>

#include "core/position.h"
#include "core/types.h"

namespace zelk {

// Exchange values by piece type (none, pawn ... king). Reset by the
// evaluation set-up (reset_see_values); read by the search and the evaluation.
extern int16_t see_values[8];
void reset_see_values();

// Gain, never negative, for `side` capturing a piece of type victim_type on
// sq when the pieces in occ are on the board. Either side may stop the
// exchange whenever continuing would lose; capturing a king is 9999.
int see(const Position& pos, int side, int sq, int victim_type, Bitboard occ);

// 1 when the move does not lose more than 70 by exchange.
int see_ok(const Position& pos, Move m);

} // namespace zelk
