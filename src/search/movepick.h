// The staged move picker: hash move, captures (ordered by victim and
// attacker or by exchange value), quiet moves ordered by history, killers
// and counter moves, or quiet checks; and the move classification bits.
#pragma once

#include "core/position.h"
#include "core/types.h"

namespace zelk {

struct SearchThread;

// Picker stage flags (what the node wants).
constexpr uint16_t PICK_HASH = 0x10;
constexpr uint16_t PICK_CAPTURES = 0x20;
constexpr uint16_t PICK_QUIETS = 0x40;        // also: order captures by exchange value
constexpr uint16_t PICK_QUIET_CHECKS = 0x80;

// move_flags bits.
constexpr uint16_t MF_CAPTURE = 1;
constexpr uint16_t MF_CHECK = 2;
constexpr uint16_t MF_SEVENTH = 0x08;
constexpr uint16_t MF_QUEEN_PROMOTION = 0x10;
constexpr uint16_t MF_ADVANCED_PAWN = 0x20;

// Prepares the picker of ply `ply`: the stage flags, the hash move and the
// checking square (64 when not in check) must be set by the caller first.
void picker_start(SearchThread& t, int ply, uint16_t stage);

// The next move of the current ply, or null when the moves are exhausted.
// Moves are pseudo-legal; the hash move may come a second time.
MoveEntry* next_move(SearchThread& t);

uint16_t move_flags(const Position& pos, int side, const MoveEntry& e);

// 1 when the move, made on the board, would leave the enemy king attacked.
int move_gives_check(const Position& pos, int side, Move m);

} // namespace zelk
