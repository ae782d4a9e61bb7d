#include "eval/endgames.h"

#include <algorithm>

#include "core/attacks.h"
#include "eval/hce.h"
#include "eval/kpk.h"

namespace zelk {

namespace {

// A king near the rim is easier to mate; rank 1 first, ranks 5-8 mirror 4-1.
constexpr int8_t EDGE[64] = {
    60, 50, 40, 30, 30, 40, 50, 60,
    50, 40, 30, 20, 20, 30, 40, 50,
    40, 30, 20, 10, 10, 20, 30, 40,
    30, 20, 10,  0,  0, 10, 20, 30,
    30, 20, 10,  0,  0, 10, 20, 30,
    40, 30, 20, 10, 10, 20, 30, 40,
    50, 40, 30, 20, 20, 30, 40, 50,
    60, 50, 40, 30, 30, 40, 50, 60,
};

// Distance to the mating corners a1 and h8 (the bishop's colour); rank 1 first.
constexpr int8_t CORNER[64] = {
    9, 8, 7, 6, 5, 4, 3, 2,
    8, 7, 6, 5, 4, 3, 2, 3,
    7, 6, 4, 3, 2, 1, 3, 4,
    6, 5, 3, 1, 0, 2, 4, 5,
    5, 4, 2, 0, 1, 3, 5, 6,
    4, 3, 1, 2, 3, 4, 6, 7,
    3, 2, 3, 4, 5, 6, 7, 8,
    2, 3, 4, 5, 6, 7, 8, 9,
};

// 0 on the rim, 1 on the next ring, 2 on c3-f6.
inline int centre_of(int sq) {
    int f = file_of(sq), r = rank_of(sq);
    int ring = std::min(std::min(f, 7 - f), std::min(r, 7 - r));
    return ring > 2 ? 2 : ring;
}

} // namespace

int kpk_eval(const Position& pos, int side) {
    const int strong = pos.mat_sig[WHITE] ? WHITE : BLACK;
    int pawn = lsb(pieces_of(pos, strong, PAWN));
    int sk = pos.king_sq[strong], wk = pos.king_sq[strong ^ 1];
    if (strong == BLACK) {        // half a turn: the pawn moves up
        pawn = 63 - pawn;
        sk = 63 - sk;
        wk = 63 - wk;
    }
    const int queening = make_square(file_of(pawn), 7);
    int value = distance(wk, queening) + 4 * rank_of(pawn) - distance(sk, queening);
    if (file_of(pawn) > 3) {
        pawn ^= 7;
        sk ^= 7;
        wk ^= 7;
    }
    const int stm = pos.side == strong ? 0 : 1;
    if (kpk_table[kpk_index(stm, pawn, sk, wk)] == 2)
        value += 800;
    return side == strong ? value : -value;
}

int kbnk_eval(const Position& pos, int side) {
    const int strong = pos.mat_sig[WHITE] ? WHITE : BLACK;
    int k = pos.king_sq[strong ^ 1];
    if (pieces_of(pos, strong, BISHOP) & ~DARK_SQUARES)
        k ^= 7;
    const int sk = pos.king_sq[strong];
    int value = 16 * CORNER[k] + 8 * centre_of(sk) + 700 - 8 * distance(sk, pos.king_sq[strong ^ 1]);
    return side == strong ? value : -value;
}

int kxk_eval(const Position& pos, int side) {
    int w = pos.npm[WHITE] * 100, b = pos.npm[BLACK] * 100;
    const int d = distance(pos.king_sq[WHITE], pos.king_sq[BLACK]);
    if (w <= b)
        b += 2 * (EDGE[pos.king_sq[WHITE]] + 100 - 8 * d);
    else
        w += 2 * (EDGE[pos.king_sq[BLACK]] + 100 - 8 * d);
    return side == WHITE ? w - b : b - w;
}

bool bare_king_ending(const Position& pos, int side, int& value) {
    const uint32_t sw = pos.mat_sig[WHITE], sb = pos.mat_sig[BLACK];
    if (sw != 0 && sb != 0)
        return false;
    const uint32_t t = sw + sb;
    if (t == 1)
        value = kpk_eval(pos, side);
    else if (t == 0x110)
        value = kbnk_eval(pos, side);
    else if (t & 0xff000)
        value = kxk_eval(pos, side);
    else
        return false;
    return true;
}

} // namespace zelk
