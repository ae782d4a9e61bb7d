// Precomputed square tables, sliding attacks by the classical ray method,
// the two attack queries on a position, and bit utilities.
#pragma once

#include <array>
#include <bit>

#include "core/types.h"

namespace zelk {

struct Position;

// Ray directions. The positive ones (step > 0) find their nearest blocker
// with the lowest set bit, the negative ones with the highest.
enum Direction : uint8_t { NORTH_WEST, NORTH_EAST, SOUTH_WEST, SOUTH_EAST, SOUTH, NORTH, WEST, EAST };
constexpr int DIRECTION_STEP[8] = {7, 9, -9, -7, -8, 8, -1, 1};

// Written once by init_attack_tables at start-up, read-only afterwards.
// Square-indexed tables have a 65th entry, always empty, so that a query
// for "no square" (64, e.g. a missing king) answers "nothing".
struct AttackTables {
    std::array<Bitboard, 65> king_attacks;
    std::array<Bitboard, 65> knight_attacks;
    std::array<std::array<Bitboard, 65>, 2> pawn_attacks;
    std::array<std::array<Bitboard, 65>, 8> ray;
    std::array<Bitboard, 65> bishop_pseudo;
    std::array<Bitboard, 65> rook_pseudo;
    std::array<std::array<Bitboard, 65>, 65> between;
    std::array<Bitboard, 8> adjacent_files;
    std::array<Bitboard, 65> rank_neighbours;
    std::array<std::array<Bitboard, 8>, 2> forward_ranks;
    std::array<std::array<Bitboard, 8>, 2> backward_ranks;
    std::array<std::array<Bitboard, 65>, 2> passed_span;
    std::array<uint8_t, 256> popcount8;
    std::array<uint32_t, 256> msb8;
};
extern AttackTables tables;

void init_attack_tables();

inline int lsb(Bitboard b) { return std::countr_zero(b); }
inline int msb(Bitboard b) { return 63 - std::countl_zero(b); }
inline int pop_lsb(Bitboard& b) {
    int s = std::countr_zero(b);
    b &= b - 1;
    return s;
}
inline int popcount(Bitboard b) { return std::popcount(b); }

// The blocker bit added at the far end makes a free ray end on square 63 or 0,
// whose own ray in that direction is empty, so no branch is needed.
inline Bitboard ray_cut_positive(int dir, int sq, Bitboard occ) {
    return tables.ray[dir][lsb((tables.ray[dir][sq] & occ) | bit(63))];
}
inline Bitboard ray_cut_negative(int dir, int sq, Bitboard occ) {
    return tables.ray[dir][msb((tables.ray[dir][sq] & occ) | bit(0))];
}

inline Bitboard bishop_attacks(int sq, Bitboard occ) {
    return tables.bishop_pseudo[sq] ^ ray_cut_positive(NORTH_WEST, sq, occ) ^ ray_cut_positive(NORTH_EAST, sq, occ) ^
           ray_cut_negative(SOUTH_WEST, sq, occ) ^ ray_cut_negative(SOUTH_EAST, sq, occ);
}

inline Bitboard rook_attacks(int sq, Bitboard occ) {
    return tables.rook_pseudo[sq] ^ ray_cut_positive(NORTH, sq, occ) ^ ray_cut_positive(EAST, sq, occ) ^
           ray_cut_negative(SOUTH, sq, occ) ^ ray_cut_negative(WEST, sq, occ);
}

// Squares a piece of the given type and colour on sq attacks (0 for no type).
inline Bitboard attacks_by_type(int type, int colour, int sq, Bitboard occ) {
    switch (type) {
    case PAWN: return tables.pawn_attacks[colour][sq];
    case KNIGHT: return tables.knight_attacks[sq];
    case BISHOP: return bishop_attacks(sq, occ);
    case ROOK: return rook_attacks(sq, occ);
    case QUEEN: return bishop_attacks(sq, occ) | rook_attacks(sq, occ);
    case KING: return tables.king_attacks[sq];
    default: return 0;
    }
}

// 1 when a piece of by_colour attacks sq with the position's real occupancy.
int is_attacked(const Position& pos, int sq, int by_colour);
// The same with `occ` as the set of blockers.
int is_attacked(const Position& pos, int sq, int by_colour, Bitboard occ);

// The least valuable attacker of sq among the pieces of by_colour that are in
// occ (occ is also the blocker set); lowest square among equals; 64 if none.
int least_attacker(const Position& pos, int sq, int by_colour, Bitboard occ);

// Like least_attacker, but every piece of by_colour may attack; occ only
// blocks. The square of a piece giving check to king_sq, or 64.
int checking_square(const Position& pos, int king_sq, int by_colour, Bitboard occ);

} // namespace zelk
