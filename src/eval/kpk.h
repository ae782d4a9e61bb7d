// Exact win/draw table for king and pawn against king, built by retrograde
// analysis at start-up. The strong side's pawn moves up the board and
// stands on files a-d (callers mirror the rest).
#pragma once

#include <cstdint>

namespace zelk {

constexpr int KPK_HALF = 32 * 64 * 64;

// [side to move: 0 strong, 1 weak][pawn file + 4 * pawn rank][strong king][weak king]:
// 2 = win for the strong side, 1 = draw (illegal positions included),
// for pawns on ranks 2 to 7. Read-only after build_kpk_table.
extern uint8_t kpk_table[2 * KPK_HALF];

inline int kpk_index(int stm, int pawn_sq, int strong_king, int weak_king) {
    return stm * KPK_HALF + ((pawn_sq & 3) + 4 * (pawn_sq >> 3)) * 4096 + strong_king * 64 + weak_king;
}

// Needs the attack tables.
void build_kpk_table();

} // namespace zelk
