// The transposition table: one process-wide array of 16-byte entries in
// overlapping four-entry buckets, shared by all search threads without locks.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/types.h"

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

// One table slot: a TTEntry kept as two 64-bit words that every search
// thread reads and writes with relaxed atomic accesses (plain loads and
// stores on the machine); the check word rejects torn entries.
struct TTSlot {
    std::atomic<uint64_t> words[2];
};

// Written between searches by the main thread only.
struct TransTable {
    TTSlot* entries = nullptr;
    uint64_t count = 0;         // N = megabytes * 65536; N + 16 entries are allocated
    int32_t megabytes = 0;
    int16_t tt_age = 0;
    float hashfull = 0;
};
extern TransTable tt;

// The first slot of the bucket that holds `key`. A power-of-two size (every
// power-of-two megabyte count) takes a mask, the same index without a 64-bit
// division.
inline TTSlot* tt_bucket(uint64_t key) {
    const uint64_t n = tt.count;
    return tt.entries + ((n & (n - 1)) == 0 ? key & (n - 1) : key % n);
}

// Starts loading the bucket of `key` into the cache: called right after a
// move is made, so that the memory access overlaps the child node's work
// before its probe.
inline void tt_prefetch(uint64_t key) {
    if (tt.count)
        __builtin_prefetch(tt_bucket(key));
}

// (Re)allocates the table with the Hash option's size, making the hash codes
// on the first call; prints the allocation line and clears. A size the
// machine cannot give (more than its memory, or a failed allocation) is
// refused with an "info string" saying why: the old table stays, the Hash
// option returns to its size, and the result is 0.
int tt_alloc();
// Zeroes the whole allocation on one worker per search thread.
void tt_clear();
struct Position;
struct SearchThread;

// Stores a search result; ply converts mate scores to distances from this node.
void tt_store(const Position& pos, int ply, int depth, Move move, int score, int alpha, int beta);

// Copies the position's entry into `out` (whose depth the caller presets to
// -10). Afterwards a depth below 0 means no usable entry: -98 torn entry,
// -99 a move that is not legal here.
void tt_probe(const Position& pos, TTEntry& out);

// Extends the principal variation pv from ply on with the table's moves.
void pv_from_table(SearchThread& t, int ply, Move* pv);

// Updates tt.hashfull from 1000 entries in the middle of the table.
void tt_hashfull();
void tt_free();

} // namespace zelk
