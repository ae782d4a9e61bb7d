// The hand-crafted evaluation: hce_evaluate and the sections it runs, in
// order, over the thread's EvalContext. Each section adds to total[colour].
#pragma once

#include <cstdint>

#include "core/types.h"
#include "eval/eval_records.h"

namespace zelk {

// Score of `pos` for `side` (0 White, 1 Black), using and filling the
// thread's evaluation state; the danger values of the position go to
// threat[] (the search's record of this ply). Trace 1 sends the section
// breakdown to the state's trace sink, 2 also every weight and table.
int hce_evaluate(EvalState& t, const Position& pos, int side, int ply, int in_check, int trace, int16_t threat[2]);

// Sections. The pawn section also fills the pawn attack and span sets the
// later ones read; pieces fill the remaining attack sets.
void eval_pawns(EvalContext& ec);
void eval_pieces(EvalContext& ec, int piece_type);
void eval_king(EvalContext& ec);
void eval_passed_pawns(EvalContext& ec);
void eval_threats(EvalContext& ec);

// Endgame scale factor for the blended score s (White's view).
float scale_factor(const Position& pos, int s);

// Breakdown of the last evaluation; weights and tables too at level 2.
void print_trace(const EvalContext& ec, int result, float sf);

// The pawn-file and square helpers the sections share.
constexpr Bitboard FILE_A_BB = 0x0101010101010101ULL;
constexpr Bitboard FILE_H_BB = FILE_A_BB << 7;
constexpr Bitboard LIGHT_SQUARES = 0x55AA55AA55AA55AAULL;
constexpr Bitboard DARK_SQUARES = 0xAA55AA55AA55AA55ULL;
constexpr Bitboard CENTRE_16 = 0x00003C3C3C3C0000ULL;   // c3-f6

inline Bitboard shift_up(Bitboard b) { return b << 8; }
inline Bitboard shift_down(Bitboard b) { return b >> 8; }
inline Bitboard shift_forward(Bitboard b, int c) { return c == WHITE ? b << 8 : b >> 8; }
inline Bitboard shift_west(Bitboard b) { return (b & ~FILE_A_BB) >> 1; }
inline Bitboard shift_east(Bitboard b) { return (b & ~FILE_H_BB) << 1; }
inline Bitboard fill_up(Bitboard b) {
    b |= b << 8;
    b |= b << 16;
    return b | (b << 32);
}
inline Bitboard fill_down(Bitboard b) {
    b |= b >> 8;
    b |= b >> 16;
    return b | (b >> 32);
}
// Every square in front of the set, towards the colour's far edge.
inline Bitboard front_fill(Bitboard b, int c) { return c == WHITE ? fill_up(b << 8) : fill_down(b >> 8); }
inline Bitboard pawn_attack_set(Bitboard pawns, int c) {
    Bitboard f = shift_forward(pawns, c);
    return shift_west(f) | shift_east(f);
}
inline int distance(int a, int b) {
    int df = file_of(a) - file_of(b), dr = rank_of(a) - rank_of(b);
    df = df < 0 ? -df : df;
    dr = dr < 0 ? -dr : dr;
    return df > dr ? df : dr;
}

} // namespace zelk
