// The bench signature: the node total that "zelk -use_hce -bench -d 12"
// prints with one thread. The search is deterministic with one thread, so
// any change to the search or the evaluation shows up here. A commit that
// changes behaviour on purpose updates the number and says "Bench: N".
#pragma once

#include <cstdint>

namespace zelk::test {

constexpr int BENCH_SIGNATURE_DEPTH = 12;
constexpr uint64_t BENCH_SIGNATURE = 3434546;

} // namespace zelk::test
