// ScorePair: a middle-game and an end-game value in one signed 32-bit word,
// mg + eg * 65536. Totals of many pairs add as plain integers; the halves are
// taken apart again only at the blend.
#pragma once

#include <cstdint>

namespace zelk {

using ScorePair = int32_t;

// Built in unsigned arithmetic so that negative halves wrap as defined.
constexpr ScorePair make_score(int mg, int eg) { return ScorePair(uint32_t(mg) + (uint32_t(eg) << 16)); }
constexpr int mg_of(ScorePair s) { return int16_t(uint16_t(uint32_t(s))); }
// The +32768 undoes the borrow a negative middle-game half takes from the upper half.
constexpr int eg_of(ScorePair s) { return int32_t(uint32_t(s) + 0x8000u) >> 16; }

} // namespace zelk
