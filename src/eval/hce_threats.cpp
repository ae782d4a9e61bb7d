// Threats: attacked and hanging pawns and pieces, majors attacked by pawns
// or minors, pawn pushes that would fork or hit a piece, and pins against
// the king. Hanging material raises the owner's danger value.
#include "core/attacks.h"
#include "core/position.h"
#include "eval/hce.h"
#include "eval/weights.h"

namespace zelk {

namespace {

// Hanging and attacked material of c, attacked by e.
void attacked_material(EvalContext& ec, int c) {
    const EvalHandles& w = eval_weights;
    const Position& pos = *ec.pos;
    const int e = c ^ 1;
    // Squares e controls: more attackers than c can answer, or no defence at all.
    const Bitboard dominated =
        (ec.twice[e] & ~ec.twice[c] & ~ec.pawn_attacks[c]) | (ec.attacks[e] & ~ec.attacks[c]);

    const Bitboard pawn_free = ~(ec.pawn_attacks[WHITE] | ec.pawn_attacks[BLACK]);
    const Bitboard attacked_pawns = pieces_of(pos, c, PAWN) & ec.attacks[e] & pawn_free;
    const Bitboard hung_pawns = attacked_pawns & dominated;
    ec.total[c] += popcount(hung_pawns) * w.hung_pawn->value;
    ec.total[c] += popcount(attacked_pawns & ~hung_pawns) * w.attacked_pawn->value;
    ec.danger[c] = int16_t(ec.danger[c] + 64 * popcount(hung_pawns));
    ec.hung |= hung_pawns;

    const Bitboard minors = (pieces_of(pos, c, KNIGHT) | pieces_of(pos, c, BISHOP)) & ec.attacks[e];
    const Bitboard hung_minors = minors & (dominated | ec.pawn_attacks[e]);
    ec.total[c] += popcount(hung_minors) * w.hung_minor->value;
    ec.total[c] += popcount(minors & ~dominated & ~ec.pawn_attacks[c]) * w.attacked_minor->value;
    ec.danger[c] = int16_t(ec.danger[c] + 256 * popcount(hung_minors));
    ec.hung |= hung_minors;

    const Bitboard majors = (pieces_of(pos, c, ROOK) | pieces_of(pos, c, QUEEN)) & ec.pawn_minor[e];
    ec.total[c] += popcount(majors) * w.hung_major->value;
    ec.danger[c] = int16_t(ec.danger[c] + 256 * popcount(majors));
    ec.hung |= majors;
}

// Pieces of c that a pawn of e would hit after a safe push.
void push_threats(EvalContext& ec, int c) {
    const Position& pos = *ec.pos;
    const int e = c ^ 1;
    const Bitboard empty = ~occupancy(pos);
    const Bitboard second_rank = e == WHITE ? 0x000000000000FF00ULL : 0x00FF000000000000ULL;
    const Bitboard pawns = pieces_of(pos, e, PAWN);
    const Bitboard single = shift_forward(pawns, e) & empty;
    const Bitboard twice = shift_forward(shift_forward(pawns & second_rank, e) & empty, e) & empty;
    const Bitboard safe =
        (single | twice) & ~ec.pawn_attacks[c] & ~(ec.attacks[c] & ~ec.pawn_attacks[e]);
    // Everything but pawns, the king included (the push would give check).
    const Bitboard targets = colour_pieces(pos, c) & ~pieces_of(pos, c, PAWN) & ~ec.hung;
    ec.total[c] += popcount(pawn_attack_set(safe, e) & targets) * eval_weights.ppush_threat->value;
}

// Pieces of c (pawns aside) standing alone between c's king and an enemy slider.
void pins(EvalContext& ec, int c) {
    const Position& pos = *ec.pos;
    const int e = c ^ 1;
    const int k = pos.king_sq[c];
    const Bitboard occ = occupancy(pos);
    const Bitboard queens = pieces_of(pos, e, QUEEN);
    Bitboard sliders = (tables.bishop_pseudo[k] & (pieces_of(pos, e, BISHOP) | queens)) |
                       (tables.rook_pseudo[k] & (pieces_of(pos, e, ROOK) | queens));
    Bitboard pinned = 0;
    while (sliders) {
        const Bitboard between = tables.between[k][pop_lsb(sliders)] & occ;
        if (between && !(between & (between - 1)))
            pinned |= between;
    }
    pinned &= colour_pieces(pos, c) & ~pieces_of(pos, c, PAWN);
    ec.total[c] += popcount(pinned) * eval_weights.pinned_piece->value;
}

} // namespace

void eval_threats(EvalContext& ec) {
    ec.hung = 0;
    attacked_material(ec, WHITE);
    attacked_material(ec, BLACK);
    push_threats(ec, WHITE);
    push_threats(ec, BLACK);
    pins(ec, WHITE);
    pins(ec, BLACK);
}

} // namespace zelk
