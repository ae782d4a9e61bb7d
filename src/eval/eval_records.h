// The evaluation's per-thread working records, kept by each search thread
// so that threads never share them: the evaluation cache, the pawn hash,
// the context one hand-crafted evaluation fills in, and the counters.
#pragma once

#include <cstdint>

#include "core/types.h"
#include "eval/score.h"
#include "nn/inference.h"
#include "nn/kbnet.h"

namespace zelk {

struct Position;
struct EvalState;

// Where trace lines go: one call per line, without the line end.
using TextSink = void (*)(const char* line);

constexpr int EVAL_CACHE_SIZE = 32768;     // entry (key_low & 0x7ffe) + side
constexpr int PAWN_HASH_SIZE = 16384;      // entry key_low & 0x3fff

struct EvalCacheEntry {
    uint64_t key;
    int16_t danger[2];       // written by the hand-crafted evaluation only
    int16_t score;           // for the side of the entry's parity
};

struct PawnHashEntry {
    uint64_t key;            // pawn key with the king-half codes mixed in
    ScorePair total[2];
};

// Sections of the trace breakdown, in evaluation order.
enum EvalSection : uint8_t {
    SEC_PAWNS, SEC_KNIGHTS, SEC_BISHOPS, SEC_ROOKS, SEC_QUEENS, SEC_KING, SEC_PPAWNS, SEC_THREATS, SEC_SPECIAL,
    SECTION_COUNT
};

struct EvalContext {
    const Position* pos;
    EvalState* state;
    uint8_t ply;
    uint8_t trace;
    ScorePair total[2];
    float eg_weight;              // end-game share of the blend ("phase")
    uint8_t mirror[2];            // piece-square record of a piece on s: s ^ mirror[colour]
    uint16_t same_wing;           // both kings on files a-d, or both on e-h

    // Attack sets per colour, filled section by section.
    Bitboard attacks[2];          // everything so far, king included
    Bitboard twice[2];            // squares attacked at least twice
    Bitboard pawn_attacks[2];
    Bitboard knight_attacks[2], bishop_attacks[2], rook_attacks[2], queen_attacks[2];
    Bitboard pawn_minor[2];       // pawns, knights, bishops
    Bitboard pawn_minor_rook[2];  // ... and rooks
    Bitboard all_but_king[2];     // ... and queens
    Bitboard front_span[2];       // squares in front of the pawns, to the edge
    Bitboard front_attack_span[2];
    Bitboard king_zone[2];
    Bitboard outposts[2];
    int32_t king_attack[2];       // weight of the attacks on each king's zone
    int16_t danger[2];            // what the other side threatens, for the search

    // Trace.
    ScorePair section_start[2];
    ScorePair section[SECTION_COUNT][2];
    Bitboard hung;
    Bitboard free_pawns;
};

struct EvalState {
    EvalCacheEntry eval_cache[EVAL_CACHE_SIZE];
    PawnHashEntry pawn_hash[PAWN_HASH_SIZE];
    EvalContext eval_context;
    uint64_t evals;
    uint64_t eval_hits;
    uint64_t pawn_probes;
    uint64_t pawn_hits;
    TextSink trace_sink;          // receives the "ev"/"sp" breakdown
    NnContext nn;                 // made on the first network evaluation
    KbContext kb;                 // the same for a king-bucket network
};

} // namespace zelk
