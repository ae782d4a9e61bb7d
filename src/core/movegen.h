// Pseudo-legal move generation in families (captures, promotions, pushes to
// the seventh rank, quiet moves, quiet checks). The emission order is fixed:
// pieces by kind (pawns, knights, bishops, rooks, queens, king), each kind by
// ascending from-square, each piece's targets by ascending to-square.
#pragma once

#include "core/position.h"
#include "core/types.h"

namespace zelk {

// Each generator writes from `out` on and returns the end of what it wrote;
// none writes a terminator.
MoveEntry* gen_captures(const Position& pos, int side, MoveEntry* out, int check_sq);
MoveEntry* gen_promotions(const Position& pos, int side, int all, MoveEntry* out);
MoveEntry* gen_seventh_pushes(const Position& pos, int side, MoveEntry* out);
MoveEntry* gen_quiets(const Position& pos, int side, MoveEntry* out, int check_sq);
MoveEntry* gen_quiet_checks(const Position& pos, int side, MoveEntry* out);

// All pseudo-legal moves of the side to move from `out` on, terminated by
// END_OF_LIST; returns the terminator's address. A list never holds more
// than MAX_MOVES entries before its terminator.
MoveEntry* gen_all(const Position& pos, MoveEntry* out);

// 1 when m is a move the generators could produce in this position (a
// table or typed move is checked with this before it is trusted).
int is_pseudo_legal(const Position& pos, Move m);

// Swaps the highest-scored entry from `entry` to the terminator into `entry`
// (the earliest wins ties).
void pick_best(MoveEntry* entry);

} // namespace zelk
