// Win/draw/loss and distance-to-zero probes on a compact position record,
// with the tables' own move generator, capture search and en-passant rules.
#pragma once

#include <cstdint>

#include "core/types.h"

namespace zelk::tb {

struct TbPosition {
    Bitboard white, black, kings, queens, rooks, bishops, knights, pawns;
    uint8_t rule50;   // halfmove clock
    uint8_t ep;       // en-passant target square, 0 = none
    uint8_t turn;     // 1 = white to move
};

// to-square bits 0-5, from-square 6-11, promotion 12-14 (1 Q, 2 R, 3 B, 4 N).
using TbMove = uint16_t;
constexpr int TB_MAX_MOVES = 192;
constexpr int TB_MAX_CAPTURES = 64;

constexpr int tb_move_to(TbMove m) { return m & 63; }
constexpr int tb_move_from(TbMove m) { return (m >> 6) & 63; }
constexpr int tb_move_promotes(TbMove m) { return (m >> 12) & 7; }

constexpr int WDL_TO_DTZ[5] = {-1, -101, 0, 101, 1};

// Pseudo-legal moves; each returns the end of what it wrote (never more than
// the capacities above for positions of at most TB_MAX_MEN men).
TbMove* tb_gen_moves(const TbPosition& pos, TbMove* out);
TbMove* tb_gen_captures(const TbPosition& pos, TbMove* out);
TbMove* tb_gen_ep_captures(const TbPosition& pos, TbMove* out);
// Plays `move` into `child`; false when it leaves the mover's king attacked.
bool tb_do_move(TbPosition& child, const TbPosition& pos, TbMove move);
bool tb_is_en_passant(const TbPosition& pos, TbMove move);
// The side not to move is not in check.
bool tb_is_valid(const TbPosition& pos);
bool tb_in_check(const TbPosition& pos);
bool tb_is_mate(const TbPosition& pos);

uint64_t tb_calc_key(const TbPosition& pos, bool mirror);
int tb_men(const TbPosition& pos);

// WDL (-2..2) of the side to move; success 0 = failed, 1 = read, 2 = proven
// by a capture.
int probe_wdl(const TbPosition& pos, int& success);
// DTZ of the side to move (see the README of the tables for the scale);
// success 0 on failure.
int probe_dtz(const TbPosition& pos, int& success);

} // namespace zelk::tb
