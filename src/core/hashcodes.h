// The 1024 random codes behind every Zobrist key, and the multiply-with-carry
// generator that makes them (the same generator kind feeds root-move noise).
#pragma once

#include <array>

#include "core/types.h"

namespace zelk {

// Marsaglia multiply-with-carry with two 32-bit states, both seeded 1.
struct MwcState {
    uint32_t z = 1;
    uint32_t w = 1;
};
uint32_t mwc_next(MwcState& s);

struct HashCodes {
    std::array<uint64_t, 1024> codes;   // viewed as Z[piece code][square]
    bool made;
};
extern HashCodes hash_codes;

// Fills hash_codes once per process; later calls do nothing and return 0.
// Returns how many codes came out too close to an earlier one (they are
// kept; the caller warns with "bad hashcode" for each).
int make_hash_codes();

inline uint64_t zobrist(int code, int sq) { return hash_codes.codes[code * 64 + sq]; }

} // namespace zelk
