#include <cassert>

#include "core/attacks.h"
#include "nn/inference.h"

namespace zelk {

namespace {

// Files a-d: the side's squares are mirrored so that its king stands on e-h.
bool queen_wing(int king_sq) { return king_sq < 64 && file_of(king_sq) < 4; }

uint16_t* side_features(const Position& pos, int s, int base, int flip, uint16_t* out) {
    const int t = flip ^ (queen_wing(pos.king_sq[s]) ? 7 : 0);
    if (pos.king_sq[s] < 64)
        *out++ = uint16_t(base + (pos.king_sq[s] ^ t));
    for (int type = PAWN; type <= QUEEN; ++type)
        for (Bitboard b = pieces_of(pos, s, type); b;)
            *out++ = uint16_t(base + 64 * type + (pop_lsb(b) ^ t));
    const Bitboard enemy_pawns = pieces_of(pos, s ^ 1, PAWN);
    for (Bitboard b = pieces_of(pos, s, PAWN); b;) {
        const int sq = pop_lsb(b);
        if (!(tables.passed_span[s][sq] & enemy_pawns))
            *out++ = uint16_t(base + NN_PASSED_BASE + (sq ^ t));
    }
    return out;
}

} // namespace

int nn_features(const Position& pos, bool extended_net, uint16_t* out, uint8_t& extended) {
    const int us = pos.side, them = us ^ 1;
    const int kw = pos.king_sq[WHITE], kb = pos.king_sq[BLACK];
    extended = extended_net && kw < 64 && kb < 64 && queen_wing(kw) != queen_wing(kb);
    const int base = extended ? 2 * NN_SIDE_INPUTS : 0;
    const int flip = us == BLACK ? 56 : 0;
    uint16_t* end = side_features(pos, us, base, flip, out);
    end = side_features(pos, them, base + NN_SIDE_INPUTS, flip, end);
    assert(end - out <= NN_MAX_FEATURES);
    return int(end - out);
}

} // namespace zelk
