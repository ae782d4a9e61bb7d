// Network inference: the input features of a position, the first layer kept
// incrementally per side to move, the second layer and the output heads.
#pragma once

#include <cstdint>

#include "core/position.h"
#include "nn/network.h"

namespace zelk {

// Inputs of one side: king, pawns, knights, bishops, rooks, queens, passed
// pawns, 64 squares each. The standard set puts the side to move at 0 and the
// other side at 448, the extended set at 896 and 1344.
constexpr int NN_SIDE_INPUTS = 448;
constexpr int NN_PASSED_BASE = 384;
constexpr int NN_MARKER_SIZE = 1840;
// Any board: one feature per occupied square plus one per passed pawn.
constexpr int NN_MAX_FEATURES = 128;
// An evaluation may reuse the last first layer of its side to move when the
// feature count and the occupied squares changed by at most this much.
constexpr int NN_REUSE_LIMIT = 8;

// The first layer of the last evaluation made with one side to move.
struct NnCache {
    uint16_t features[NN_MAX_FEATURES];
    int16_t count = -1;               // -1: empty
    uint8_t extended = 0;
    const Network* net = nullptr;
    Bitboard occupancy = 0;
    int32_t* sums = nullptr;          // before activation, in units of 1/2000; stride1 of net
};

// A search thread's network state. The evaluation sets net, head and ply
// before each nn_run.
struct NnContext {
    const Network* net = nullptr;
    int16_t head = 0;
    int16_t ply = 0;
    uint8_t extended = 0;             // this evaluation uses the extended input set
    uint16_t features[NN_MAX_FEATURES];
    int16_t count = 0;
    float* hidden1_out = nullptr;     // first-layer activations
    float* hidden2_out = nullptr;     // second-layer activations
    float* out = nullptr;             // output heads
    NnCache cache[2];                 // by side to move
    uint8_t marker[NN_MARKER_SIZE] = {};
    uint32_t jitter_seed = 0;
    uint32_t generation = 0;          // networks.generation the caches were made with
    int capacity1 = 0, capacity2 = 0, capacity_out = 0;
    AlignedFloats storage;
    Aligned<int32_t> cache_storage;
};

// Ready for the networks loaded now: made, large enough and with caches of
// the current networks.
bool nn_context_ready(const NnContext& ctx);

// Makes the context ready: sizes its buffers for the largest network loaded
// (keeping them when they are large enough), empties both caches and, the
// first time, draws the jitter seed with rand(). Returns false when the
// memory is not there.
bool nn_init_thread(NnContext& ctx);

// Feature list of pos for a network with (extended_net) or without the
// extended set; writes the indices to out and returns their count. extended
// tells whether the extended set was used.
int nn_features(const Position& pos, bool extended_net, uint16_t* out, uint8_t& extended);

// Runs ctx.net on pos for head ctx.head (and heads 0 and 1 when it is 1) and
// returns the output buffer: logits from the side to move's point of view.
// The context must be ready. Allocates nothing.
const float* nn_run(NnContext& ctx, const Position& pos);

// The first layer computed afresh, without touching the caches (for tests).
void nn_first_layer_full(const Network& net, const uint16_t* features, int count, int32_t* sums);

} // namespace zelk
