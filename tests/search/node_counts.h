// Nodes a single-threaded search needs to reach a fixed depth, with the
// shipped settings, from an empty 1 MB table and a fresh thread record. A
// change that makes the search much less efficient (an ordering table no
// longer updated, a pruning rule turned the wrong way) moves a count out of
// its band; a deliberate change updates the counts here (the failing test
// prints the new ones).
#pragma once

#include <cstdint>

namespace zelk::test {

struct NodeCount {
    const char* name;
    const char* fen;
    int depth;
    uint64_t nodes;
};

constexpr NodeCount NODE_COUNTS[] = {
    {"start", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", 10, 13801},
    {"kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 8, 14175},
    {"open sicilian", "rnbqkb1r/1p1p1ppp/p3pn2/2pP4/2P5/2N5/PP2PPPP/R1BQKBNR w KQkq -", 9, 25731},
    {"italian", "r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/2NP1N2/PPP2PPP/R1BQK2R b KQkq -", 9, 12924},
    {"middlegame", "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -", 9, 16570},
    {"rook ending", "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", 12, 85367},
    {"minor pieces", "8/5pk1/4p1p1/3nP3/1p1B4/1P3P2/4K1PP/8 b - -", 11, 15098},
};

// A count may lie this far from its table value either way (a factor).
constexpr double NODE_COUNT_BAND = 1.25;

} // namespace zelk::test
