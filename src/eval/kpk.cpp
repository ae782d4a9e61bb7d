#include "eval/kpk.h"

#include "core/attacks.h"
#include "eval/hce.h"

namespace zelk {

uint8_t kpk_table[2 * KPK_HALF];

namespace {

// Working values during the build.
constexpr uint8_t ILLEGAL = 0, DRAW = 1, WIN = 2, UNKNOWN = 4;

inline uint8_t& entry(int stm, int p, int s, int w) { return kpk_table[kpk_index(stm, p, s, w)]; }
inline bool pawn_square(int p) { return file_of(p) < 4; }

void init_entries() {
    for (int p = 0; p < 64; ++p) {
        if (!pawn_square(p))
            continue;
        for (int s = 0; s < 64; ++s)
            for (int w = 0; w < 64; ++w) {
                uint8_t& strong = entry(0, p, s, w);
                uint8_t& weak = entry(1, p, s, w);
                strong = weak = UNKNOWN;
                if (p == s || p == w || s == w || distance(s, w) <= 1) {
                    strong = weak = ILLEGAL;
                } else if (w == p + 9 || (w == p + 7 && file_of(p) != 0)) {
                    strong = ILLEGAL;          // the weak king would be in check
                } else if (rank_of(p) == 7) {
                    strong = WIN;              // just promoted
                    if (distance(w, p) > 1 || distance(s, p) == 1)
                        weak = WIN;
                }
            }
    }
}

// Strong side to move: a win if any move wins.
bool pass_strong() {
    bool changed = false;
    for (int p = 8; p < 56; ++p) {
        if (!pawn_square(p))
            continue;
        for (int s = 0; s < 64; ++s)
            for (int w = 0; w < 64; ++w) {
                uint8_t& e = entry(0, p, s, w);
                if (e != UNKNOWN)
                    continue;
                bool win = false, unknown = false;
                uint8_t v = entry(1, p + 8, s, w);
                win |= v == WIN;
                unknown |= v == UNKNOWN;
                if (rank_of(p) == 1 && v != ILLEGAL) {
                    uint8_t v2 = entry(1, p + 16, s, w);
                    win |= v2 == WIN;
                    unknown |= v2 == UNKNOWN;
                }
                for (Bitboard k = tables.king_attacks[s]; k && !win;) {
                    uint8_t vk = entry(1, p, pop_lsb(k), w);
                    win |= vk == WIN;
                    unknown |= vk == UNKNOWN;
                }
                uint8_t next = win ? WIN : unknown ? UNKNOWN : DRAW;
                if (next != e) {
                    e = next;
                    changed = true;
                }
            }
    }
    return changed;
}

// Weak side to move: a draw if any move draws, a loss only if every move loses.
bool pass_weak() {
    bool changed = false;
    for (int p = 8; p < 56; ++p) {
        if (!pawn_square(p))
            continue;
        for (int s = 0; s < 64; ++s)
            for (int w = 0; w < 64; ++w) {
                uint8_t& e = entry(1, p, s, w);
                if (e != UNKNOWN)
                    continue;
                bool draw = false, unknown = false, win = false;
                for (Bitboard k = tables.king_attacks[w]; k && !draw;) {
                    int to = pop_lsb(k);
                    if (to == p) {
                        draw |= distance(p, s) > 1;   // the pawn is taken
                        continue;
                    }
                    uint8_t v = entry(0, p, s, to);
                    draw |= v == DRAW;
                    unknown |= v == UNKNOWN;
                    win |= v == WIN;
                }
                uint8_t next = draw ? DRAW : unknown ? UNKNOWN : !win ? DRAW : WIN;
                if (next != e) {
                    e = next;
                    changed = true;
                }
            }
    }
    return changed;
}

} // namespace

void build_kpk_table() {
    init_entries();
    bool changed = true;
    while (changed) {
        changed = pass_strong();
        changed |= pass_weak();
    }
    for (int p = 8; p < 56; ++p) {
        if (!pawn_square(p))
            continue;
        for (int stm = 0; stm < 2; ++stm)
            for (int s = 0; s < 64; ++s)
                for (int w = 0; w < 64; ++w)
                    if (entry(stm, p, s, w) != WIN)
                        entry(stm, p, s, w) = DRAW;
    }
}

} // namespace zelk
