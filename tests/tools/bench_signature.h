// The bench signature: the node total of "zelk bench" (twenty positions at
// depth 12, one thread, the shipped network), deterministic with one thread,
// so any change to the search or the evaluation shows here; a commit that
// changes it on purpose updates it and says "Bench: N". Beside it the
// hand-crafted total of "zelk -use_hce -bench -d 12".
#pragma once

#include <cstdint>

namespace zelk::test {

constexpr uint64_t BENCH_SIGNATURE = 1689717;
constexpr int HCE_BENCH_DEPTH = 12;
constexpr uint64_t HCE_BENCH_NODES = 1712205;

} // namespace zelk::test
