// The bench signature: the node total that "zelk bench" prints (the twenty
// bench positions at depth 12, one thread, the shipped network). The search
// is deterministic with one thread, so any change to the search or the
// evaluation shows up here. A commit that changes behaviour on purpose
// updates the number and says "Bench: N". The hand-crafted evaluation's own
// total ("zelk -use_hce -bench -d 12") is kept beside it.
#pragma once

#include <cstdint>

namespace zelk::test {

constexpr uint64_t BENCH_SIGNATURE = 1871118;
constexpr int HCE_BENCH_DEPTH = 12;
constexpr uint64_t HCE_BENCH_NODES = 1574625;

} // namespace zelk::test
