// Static exchange evaluation and the quick exchange test.
#pragma once

#include "core/position.h"
#include "core/types.h"

namespace zelk {

// Search piece values by type (none, pawn .. king). The evaluation set-up
// writes 100, 350, 350, 550, 1075, 9000; these are the values before it.
extern int16_t search_piece_value[8];

// Coarse value by type used to decide whether an exchange test is needed.
constexpr int EXCHANGE_ORDER[8] = {0, 1, 3, 3, 5, 10, 99, 0};

// What `side` gains, never below 0, by capturing the piece of type `victim`
// on `square`, with `occ` as the pieces still on the board.
int see(const Position& pos, int side, int square, int victim, Bitboard occ);

// 1 when the move loses no more than 70 by exchange.
int see_ok(const Position& pos, Move m);

} // namespace zelk
