// The transposition table: one process-wide array of 16-byte entries in
// overlapping four-entry buckets, shared by all search threads without locks.
#pragma once

#include <cstdint>

namespace zelk {

// 16 bytes. `check` = low key word ^ (move << 16) ^ (score + 15000) guards
// against entries torn by concurrent writers.
struct TTEntry {
    uint32_t key_high;
    uint32_t check;
    uint16_t move;
    int16_t score;
    int8_t depth;
    uint8_t bound;      // 1 upper, 2 lower, 3 exact
    uint8_t age;        // tt_age when stored; 0 only in cleared entries
    uint8_t fifty;      // halfmove counter when stored
};
static_assert(sizeof(TTEntry) == 16);

// Written between searches by the main thread only.
struct TransTable {
    TTEntry* entries = nullptr;
    uint64_t count = 0;         // N = megabytes * 65536; N + 16 entries are allocated
    int32_t megabytes = 0;
    int16_t tt_age = 0;
    float hashfull = 0;
};
extern TransTable tt;

// (Re)allocates the table with the Hash option's size, making the hash codes
// on the first call; prints the allocation line and clears. 0 on failure.
int tt_alloc();
// Zeroes the whole allocation on one worker per search thread.
void tt_clear();
// Updates tt.hashfull from 1000 entries in the middle of the table.
void tt_hashfull();
void tt_free();

} // namespace zelk
