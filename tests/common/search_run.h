// Fixed-depth searches on the calling thread, as the start-up calibration
// runs them, from an empty table and a fresh thread record, so that the
// outcome does not depend on the searches run before it.
#pragma once

#include <cstdint>
#include <string>

#include "core/types.h"

namespace zelk::test {

struct SearchOutcome {
    Move move;
    std::string move_text;   // coordinate form, "null" when there is no move
    int score;
    uint64_t nodes;
};

// Sets the game position from `fen` (the four fields are enough) and
// searches it to `depth` with one thread.
SearchOutcome fixed_depth_search(const std::string& fen, int depth);

// The same with the strength limit on at `elo` (the range's top at 3000) and
// the limit's draws from `seed`; `depth` caps the limit's own depth.
SearchOutcome limited_search(const std::string& fen, int depth, int elo, uint64_t seed);

} // namespace zelk::test
