#include "core/hashcodes.h"

#include <bit>
#include <cstddef>

namespace zelk {

HashCodes hash_codes;

uint32_t mwc_next(MwcState& s) {
    s.z = 36969u * (s.z & 0xFFFF) + (s.z >> 16);
    s.w = 18000u * (s.w & 0xFFFF) + (s.w >> 16);
    return (s.z << 16) + s.w;
}

int make_hash_codes() {
    if (hash_codes.made)
        return 0;
    hash_codes.made = true;
    MwcState state;
    int bad = 0;
    for (size_t k = 0; k < hash_codes.codes.size(); ++k) {
        uint64_t code;
        do {
            uint64_t high = mwc_next(state);
            code = (high << 32) | mwc_next(state);
        } while (std::popcount(code) <= 23);
        // Codes too close to an earlier one weaken the keys; they are kept, and counted.
        for (size_t j = 0; j < k; ++j)
            if (std::popcount(code ^ hash_codes.codes[j]) < 6) {
                ++bad;
                break;
            }
        hash_codes.codes[k] = code;
    }
    return bad;
}

} // namespace zelk
