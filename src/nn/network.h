// The network file and the loaded networks.
//
// File: one or two networks, each an 18-byte header (little-endian: i16
// unused, i16 network count (0 reads as 1), u16 inputs_a, u16 inputs_b,
// u16 hidden1, u16 hidden2, u16 outputs, u32 unused) followed by its
// parameters as little-endian floats: W1 (one row of hidden1 per input),
// W2 (one row of hidden1 per second-layer neuron), W3 (one row of hidden2
// per head), W4 (outputs, unused), then 8 extra values (extra[1] is the
// first-layer bias, extra[2] the second-layer bias).
//
// Each value is rounded on load to a multiple of 1/2000. The first layer is
// kept as whole numbers of 1/2000 (int32), so its sums are exact: updating
// them move by move gives the same bits as adding them up afresh. In memory
// every row is padded with zeros to a multiple of four values and starts on
// a 16-byte boundary, so the vector loops need no head or tail.
#pragma once

#include <span>

#include <cstdint>

#include "nn/simd.h"

namespace zelk {

constexpr int NN_HEADER_BYTES = 18;
constexpr int NN_EXTRA_COUNT = 8;
constexpr int NN_STANDARD_INPUTS = 896;    // two sides of 448 inputs
constexpr int NN_EXTENDED_INPUTS = 1792;   // inputs_a from here on: the extended set too
constexpr int NN_MAX_SLOTS = 2;
// First-layer weights and bias beyond this are refused: 129 of them must
// add up within 32 bits.
constexpr float NN_MAX_FIRST_LAYER_WEIGHT = 8000.0f;

struct Network {
    int16_t unused = 0;
    int16_t count_field = 0;
    uint16_t inputs_a = 0, inputs_b = 0;
    uint16_t hidden1 = 0, hidden2 = 0, outputs = 0;
    uint32_t unused_count = 0;
    int inputs = 0;              // inputs_a + inputs_b
    uint64_t param_count = 0;    // floats in the file's parameter block
    int stride1 = 0;             // hidden1 padded to four lanes: row length of W1 and W2
    int stride2 = 0;             // hidden2 padded: row length of W3
    Aligned<int32_t> first_layer;   // W1 in units of 1/2000, then the padded bias row
    AlignedFloats params;        // W2, W3, W4, extra
    const int32_t* w1 = nullptr;    // inputs rows of stride1
    const float* w2 = nullptr;   // hidden2 rows of stride1
    const float* w3 = nullptr;   // outputs rows of stride2
    const float* w4 = nullptr;   // outputs
    const float* extra = nullptr;   // NN_EXTRA_COUNT
    const int32_t* bias1 = nullptr; // stride1 values: extra[1] in units, zero in the padding
};

// The loaded networks. Written only by load_network, on the main thread while
// no search runs; read by every search thread.
struct NetworkSet {
    Network slot[NN_MAX_SLOTS];
    int count;               // networks loaded: 0 before the first good file
    uint32_t generation;     // raised by every load, so contexts drop stale caches
    int max_stride1, max_stride2, max_outputs;   // the largest network loaded so far
};
extern NetworkSet networks;

enum class NnLoad {
    LOADED,        // every network of the file is in place
    CANNOT_OPEN,   // nothing changed
    BAD_FILE,      // short, oversized or malformed; a message was printed, the old networks stay
    NO_MEMORY,     // "allocating memory for net failed!" was emitted; the old networks stay
};

// Reads the network file at path. All or nothing: the networks in use are
// replaced only when the whole file is good.
NnLoad load_network(const char* path);

// The network file built into the program (empty when the build had none),
// and the same loading from it; messages name it "<embedded>".
std::span<const unsigned char> embedded_network();
NnLoad load_embedded_network();

// Frees every network (count 0).
void unload_networks();

// v rounded to a multiple of 1/2000, halves away from zero.
float quantise_weight(float v);

} // namespace zelk
