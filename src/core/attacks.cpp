#include "core/attacks.h"

#include "core/position.h"

namespace zelk {

AttackTables tables;

namespace {

// One step from sq in direction dir, or -1 when it would leave the board.
int step_from(int sq, int dir) {
    int to = sq + DIRECTION_STEP[dir];
    if (to < 0 || to > 63)
        return -1;
    int df = file_of(to) - file_of(sq);
    if (df > 1 || df < -1)
        return -1;
    return to;
}

// Jump by (df, dr) from sq, or -1 off the board.
int jump(int sq, int df, int dr) {
    int f = file_of(sq) + df, r = rank_of(sq) + dr;
    return (f < 0 || f > 7 || r < 0 || r > 7) ? -1 : make_square(f, r);
}

Bitboard jumps(int sq, const int (*offsets)[2], int n) {
    Bitboard b = 0;
    for (int i = 0; i < n; ++i)
        if (int to = jump(sq, offsets[i][0], offsets[i][1]); to >= 0)
            b |= bit(to);
    return b;
}

constexpr int KING_OFFSETS[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
constexpr int KNIGHT_OFFSETS[8][2] = {{-2, -1}, {-2, 1}, {2, -1}, {2, 1}, {-1, -2}, {1, -2}, {-1, 2}, {1, 2}};

// First square of candidates (lowest first) whose line to sq is free of occ.
inline int first_unblocked(int sq, Bitboard candidates, Bitboard occ) {
    while (candidates) {
        int x = pop_lsb(candidates);
        if (!(tables.between[sq][x] & occ))
            return x;
    }
    return NO_SQUARE;
}

} // namespace

void init_attack_tables() {
    AttackTables& t = tables;
    t = AttackTables{};
    for (int sq = 0; sq < 64; ++sq) {
        t.king_attacks[sq] = jumps(sq, KING_OFFSETS, 8);
        t.knight_attacks[sq] = jumps(sq, KNIGHT_OFFSETS, 8);
        for (int c = 0; c < 2; ++c) {
            int dr = c == WHITE ? 1 : -1;
            Bitboard b = 0;
            for (int df : {-1, 1})
                if (int to = jump(sq, df, dr); to >= 0)
                    b |= bit(to);
            t.pawn_attacks[c][sq] = b;
        }
        for (int d = 0; d < 8; ++d) {
            Bitboard b = 0;
            for (int s = step_from(sq, d); s >= 0; s = step_from(s, d))
                b |= bit(s);
            t.ray[d][sq] = b;
        }
        t.bishop_pseudo[sq] = t.ray[NORTH_WEST][sq] | t.ray[NORTH_EAST][sq] | t.ray[SOUTH_WEST][sq] | t.ray[SOUTH_EAST][sq];
        t.rook_pseudo[sq] = t.ray[NORTH][sq] | t.ray[SOUTH][sq] | t.ray[WEST][sq] | t.ray[EAST][sq];
        for (int d = 0; d < 8; ++d) {
            Bitboard passed = 0;
            for (int s = step_from(sq, d); s >= 0; s = step_from(s, d)) {
                t.between[sq][s] = passed;
                passed |= bit(s);
            }
        }
        Bitboard neighbours = 0;
        if (file_of(sq) > 0)
            neighbours |= bit(sq - 1);
        if (file_of(sq) < 7)
            neighbours |= bit(sq + 1);
        t.rank_neighbours[sq] = neighbours;
    }
    constexpr Bitboard FILE_A = 0x0101010101010101ULL;
    for (int f = 0; f < 8; ++f)
        t.adjacent_files[f] = (f > 0 ? FILE_A << (f - 1) : 0) | (f < 7 ? FILE_A << (f + 1) : 0);
    for (int r = 0; r < 8; ++r) {
        Bitboard above = r < 7 ? ~Bitboard(0) << (8 * (r + 1)) : 0;
        Bitboard below = r > 0 ? ~Bitboard(0) >> (8 * (8 - r)) : 0;
        t.forward_ranks[WHITE][r] = t.backward_ranks[BLACK][r] = above;
        t.forward_ranks[BLACK][r] = t.backward_ranks[WHITE][r] = below;
    }
    for (int sq = 0; sq < 64; ++sq)
        for (int c = 0; c < 2; ++c) {
            Bitboard files = t.adjacent_files[file_of(sq)] | (FILE_A << file_of(sq));
            t.passed_span[c][sq] = files & t.forward_ranks[c][rank_of(sq)];
        }
    for (int i = 0; i < 256; ++i) {
        t.popcount8[i] = uint8_t(std::popcount(unsigned(i)));
        t.msb8[i] = i < 2 ? 0 : t.msb8[i - 1] + ((i & (i - 1)) == 0 ? 1 : 0);
    }
}

int is_attacked(const Position& pos, int s, int c) { return is_attacked(pos, s, c, occupancy(pos)); }

int is_attacked(const Position& pos, int s, int c, Bitboard occ) {
    const Bitboard* p = pos.pieces + c * 8;
    if (tables.pawn_attacks[c ^ 1][s] & p[PAWN])
        return 1;
    if (tables.knight_attacks[s] & p[KNIGHT])
        return 1;
    if (tables.king_attacks[s] & p[KING])
        return 1;
    if (first_unblocked(s, tables.bishop_pseudo[s] & (p[BISHOP] | p[QUEEN]), occ) != NO_SQUARE)
        return 1;
    if (first_unblocked(s, tables.rook_pseudo[s] & (p[ROOK] | p[QUEEN]), occ) != NO_SQUARE)
        return 1;
    return 0;
}

namespace {

// Attackers of s among `members` of colour c, cheapest kind first.
inline int first_attacker(const Position& pos, int s, int c, Bitboard members, Bitboard occ) {
    const Bitboard* p = pos.pieces + c * 8;
    if (Bitboard b = tables.pawn_attacks[c ^ 1][s] & p[PAWN] & members)
        return lsb(b);
    if (Bitboard b = tables.knight_attacks[s] & p[KNIGHT] & members)
        return lsb(b);
    int x = first_unblocked(s, tables.bishop_pseudo[s] & p[BISHOP] & members, occ);
    if (x != NO_SQUARE)
        return x;
    x = first_unblocked(s, tables.rook_pseudo[s] & p[ROOK] & members, occ);
    if (x != NO_SQUARE)
        return x;
    x = first_unblocked(s, (tables.bishop_pseudo[s] | tables.rook_pseudo[s]) & p[QUEEN] & members, occ);
    if (x != NO_SQUARE)
        return x;
    if (Bitboard b = tables.king_attacks[s] & p[KING] & members)
        return lsb(b);
    return NO_SQUARE;
}

} // namespace

int least_attacker(const Position& pos, int s, int c, Bitboard occ) { return first_attacker(pos, s, c, occ, occ); }

int checking_square(const Position& pos, int king_sq, int c, Bitboard occ) {
    return first_attacker(pos, king_sq, c, ~Bitboard(0), occ);
}

} // namespace zelk
