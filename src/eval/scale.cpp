// Endgame scale factor: thin endings where the side ahead often cannot win.
// Called only when both sides have at most 10 units of pieces.
#include <cstdlib>

#include "core/attacks.h"
#include "core/position.h"
#include "eval/hce.h"

namespace zelk {

namespace {

inline int pawn_count(uint32_t sig) { return sig & 0xf; }
inline int minor_count(uint32_t sig) { return ((sig >> 4) & 0xf) + ((sig >> 8) & 0xf); }
inline int piece_count(uint32_t sig) {
    return ((sig >> 4) & 0xf) + ((sig >> 8) & 0xf) + ((sig >> 12) & 0xf) + ((sig >> 16) & 0xf);
}

// No pawns for the side ahead: little winning chance unless much is left.
float no_pawns(const Position& pos, int strong) {
    const uint32_t s = pos.mat_sig[strong], w = pos.mat_sig[strong ^ 1];
    if (s == 0x200 && w == 0x10)
        return 0.75f;
    return 0.1f + 0.007f * pos.npm[strong];
}

// Rook pawns only, no knight, rook or queen, and a bishop that cannot cover
// the promotion square which the defending king holds.
bool wrong_rook_pawn(const Position& pos, int strong) {
    const uint32_t sig = pos.mat_sig[strong];
    if (pawn_count(sig) == 0 || (sig & 0xff0f0))
        return false;
    const Bitboard pawns = pieces_of(pos, strong, PAWN), bishops = pieces_of(pos, strong, BISHOP);
    const int k = pos.king_sq[strong ^ 1];
    const int back = strong == WHITE ? 7 - rank_of(k) : rank_of(k);
    // The a-file promotion square is light for White (a8), dark for Black (a1).
    const Bitboard a_colour = strong == WHITE ? LIGHT_SQUARES : DARK_SQUARES;
    const Bitboard h_colour = strong == WHITE ? DARK_SQUARES : LIGHT_SQUARES;
    if (!(pawns & ~FILE_A_BB) && file_of(k) <= 1 && back <= 1 && !(bishops & a_colour))
        return true;
    if (!(pawns & ~FILE_H_BB) && file_of(k) >= 6 && back <= 1 && !(bishops & h_colour))
        return true;
    return false;
}

// One or two pawns up against a defender who can give back a piece.
float few_pawns(const Position& pos, int strong) {
    const int weak = strong ^ 1;
    const uint32_t ws = pos.mat_sig[weak];
    const int ps = pawn_count(pos.mat_sig[strong]), pw = pawn_count(ws);
    if (ps > 2 || pos.npm[weak] == 0 || pos.npm[strong] + ps > pos.npm[weak] + pw + 1)
        return 1.0f;
    const bool minors = minor_count(ws) > 0;
    float f = ps == 1 ? (minors ? 0.6f : 0.8f) : (minors ? 0.8f : 0.9f);
    // Every pawn on or behind the defending king's rank, on its file or next to it.
    const int k = pos.king_sq[weak];
    const Bitboard row = bit(k) | tables.rank_neighbours[k];
    const Bitboard held = strong == WHITE ? fill_down(row) : fill_up(row);
    if (!(pieces_of(pos, strong, PAWN) & ~held))
        f *= 0.75f;
    return f;
}

} // namespace

float scale_factor(const Position& pos, int s) {
    const uint32_t sw = pos.mat_sig[WHITE], sb = pos.mat_sig[BLACK];
    if (std::abs(pos.npm[WHITE] - pos.npm[BLACK]) > 3)
        return 1.0f;
    if (s > 0 && pawn_count(sw) == 0)
        return no_pawns(pos, WHITE);
    if (s < 0 && pawn_count(sb) == 0)
        return no_pawns(pos, BLACK);
    if ((s > 0 && wrong_rook_pawn(pos, WHITE)) || (s < 0 && wrong_rook_pawn(pos, BLACK)))
        return 0.05f;

    float sf = 1.0f;
    const Bitboard wb = pieces_of(pos, WHITE, BISHOP), bb = pieces_of(pos, BLACK, BISHOP);
    if (pos.npm[WHITE] == pos.npm[BLACK] && popcount(wb) == 1 && popcount(bb) == 1 &&
        std::abs(pawn_count(sw) - pawn_count(sb)) <= 2 &&
        (((wb & LIGHT_SQUARES) != 0) != ((bb & LIGHT_SQUARES) != 0))) {
        const uint32_t ahead = s >= 0 ? sw : sb;
        sf = (ahead & 0xff000) ? 0.9f : 0.6f;
    }
    if (s == 0)
        return sf;
    const int strong = s > 0 ? WHITE : BLACK;
    sf *= few_pawns(pos, strong);
    if (piece_count(pos.mat_sig[strong]) == 1 && piece_count(pos.mat_sig[strong ^ 1]) >= 2)
        sf *= 0.8f;
    return sf;
}

} // namespace zelk
