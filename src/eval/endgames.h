// Elementary endgames scored by formula instead of by the general terms:
// king and pawn against king (through the KPK table), king, bishop and
// knight against king, and a rook or queen side against a bare king.
#pragma once

#include "core/position.h"

namespace zelk {

// Each returns the value for `side`; the position has one bare king.
int kpk_eval(const Position& pos, int side);
int kbnk_eval(const Position& pos, int side);
int kxk_eval(const Position& pos, int side);

// When one side has a bare king and the other one of the endings above:
// true and its value for `side`.
bool bare_king_ending(const Position& pos, int side, int& value);

} // namespace zelk
