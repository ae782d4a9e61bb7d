// King safety: piece-square value, pawn shield, safe checks and attacks on
// the king zone turned into a penalty that grows with their square, a king
// without flight squares, and the king's distance to the pawns.
#include <algorithm>

#include "core/attacks.h"
#include "core/position.h"
#include "eval/hce.h"
#include "eval/weights.h"

namespace zelk {

namespace {

constexpr float PAWN_DISTANCE_FACTOR[8] = {0.0f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f, 1.0f, 1.0f};

// Shield, checks and zone attacks; only against an enemy with 9 or more units.
void king_attack_terms(EvalContext& ec, int c, int k) {
    const EvalHandles& w = eval_weights;
    const Position& pos = *ec.pos;
    const int e = c ^ 1;

    // Pawn shield: the zone one rank towards the enemy, each square covered by
    // an own pawn on it or up to two squares behind it.
    const Bitboard pawns = pieces_of(pos, c, PAWN);
    const Bitboard zone_ahead = shift_forward(ec.king_zone[c], c);
    const Bitboard covered = c == WHITE ? pawns | (pawns << 8) | (pawns << 16) : pawns | (pawns >> 8) | (pawns >> 16);
    const int shield = popcount(zone_ahead & covered);
    ec.total[c] += scaled(float(std::min(shield, 9) - 9) * 0.111f, w.pawn_shield);
    ec.king_attack[c] -= std::min(shield, 8);

    // Squares from which the enemy can check without being taken.
    const Bitboard safe = ~colour_pieces(pos, e) & ~ec.pawn_minor_rook[c] & ~ec.twice[c] &
                          ~(ec.attacks[c] & ~ec.twice[e]);
    const Bitboard occ = occupancy(pos);
    const Bitboard diagonal = bishop_attacks(k, occ), straight = rook_attacks(k, occ);
    const Bitboard knight_checks = safe & tables.knight_attacks[k] & ec.knight_attacks[e];
    const Bitboard bishop_checks = safe & diagonal & ec.bishop_attacks[e];
    const Bitboard rook_checks = safe & straight & ec.rook_attacks[e];
    int checks = popcount(knight_checks | bishop_checks | rook_checks);
    checks += (safe & diagonal & ec.queen_attacks[e]) ? 1 : 0;
    checks += (safe & straight & ec.queen_attacks[e]) ? 1 : 0;

    const Bitboard zone = ec.king_zone[c];
    const int p = popcount(zone & ec.pawn_attacks[e] & ~ec.pawn_attacks[c]);
    const int n = popcount((zone & ec.knight_attacks[e] & ~ec.pawn_minor[c]) | knight_checks);
    const int b = popcount(bishop_checks | (zone & ec.bishop_attacks[e] & ~ec.pawn_minor[c]));
    const int r = popcount(rook_checks | (zone & ec.rook_attacks[e] & ~ec.pawn_minor_rook[c]));
    const int q = std::min(3, popcount((ec.queen_attacks[e] & safe & (diagonal | straight)) |
                                       (zone & ec.queen_attacks[e] & ~ec.all_but_king[c])));
    ec.king_attack[c] += 2 * p + 4 * n + 3 * b + 4 * r + 5 * q + 2 * checks;
    if (checks > 0)
        ec.total[c] += checks * w.enemy_checks->value;

    // A queen contact check the king cannot answer by taking the queen.
    if (ec.queen_attacks[e] & safe & tables.king_attacks[k])
        ec.danger[c] = int16_t(ec.danger[c] + 800);

    if (ec.king_attack[c] >= 2) {
        const int a = std::min(ec.king_attack[c], 39);
        const float damping = float(1.0 - a * 0.006);
        const float f = float(a * a * 0.0018 * damping);
        ec.total[c] += scaled(f, pieces_of(pos, e, QUEEN) ? w.king_danger1 : w.king_danger2);
    }
}

} // namespace

void eval_king(EvalContext& ec) {
    const EvalHandles& w = eval_weights;
    const Position& pos = *ec.pos;
    const Bitboard all_pawns = pos.pieces[PAWN] | pos.pieces[8 + PAWN];
    // Squares in front of the pawns, where the king is wanted in an ending.
    const Bitboard fronts = ec.front_span[WHITE] | ec.front_span[BLACK];
    for (int c = 0; c < 2; ++c) {
        const int e = c ^ 1;
        const int k = pos.king_sq[c];
        ec.total[c] += w.pst[PST_K][k ^ ec.mirror[c]]->value;
        if (pos.npm[e] >= 9)
            king_attack_terms(ec, c, k);

        if (!(tables.king_attacks[k] & ~colour_pieces(pos, c) & ~ec.attacks[e]))
            ec.total[c] += w.king_trapped->value;

        if (all_pawns) {
            Bitboard reach = tables.king_attacks[k] | bit(k);
            int d = 0;
            while (!(reach & fronts) && d < 7) {
                reach |= shift_west(reach) | shift_east(reach);
                reach |= shift_up(reach) | shift_down(reach);
                ++d;
            }
            ec.total[c] += scaled(PAWN_DISTANCE_FACTOR[d], w.king_pawn_dist);
        }
    }
}

} // namespace zelk
