// The king-bucket network: an accumulator for each colour over the pieces
// as that colour sees them (own pieces first, the board flipped for Black,
// mirrored so the own king stands on files a-d, one weight set per own-king
// bucket), integer weights, a clipped or squared clipped activation and an
// output head chosen by the number of pieces on the board. Its file format
// ("ZKN2", docs/network-format.md) stands beside the design's; the design's
// networks keep loading and evaluating as before.
#pragma once

#include <array>
#include <span>

#include <cstdint>

#include "core/board.h"
#include "nn/network.h"
#include "nn/simd.h"

namespace zelk {

constexpr int KB_HEADER_BYTES = 128;
constexpr int KB_VERSION = 1;
constexpr int KB_PIECE_INPUTS = 768;     // 2 colours x 6 kinds x 64 squares per bucket
constexpr int KB_MAX_BUCKETS = 32;
constexpr int KB_MAX_WIDTH = 2048;
constexpr int KB_MAX_OUTPUTS = 16;
constexpr int KB_WIDTH_STEP = 16;        // widths are multiples of the widest vector

enum class KbActivation : uint8_t { CRELU = 0, SCRELU = 1 };

struct KbNetwork {
    int buckets = 0, width = 0, outputs = 0;
    KbActivation activation = KbActivation::CRELU;
    bool mirror = false;
    int ceiling = 0;           // the activation clips at this accumulator value (1.0)
    int weight_scale = 0;      // output weights are whole multiples of 1/weight_scale
    int eval_scale = 0;        // centipawns for an output of 1.0
    std::array<uint8_t, 64> bucket_of{};   // own king's square as its side sees it -> bucket
    Aligned<int16_t> feature_weights;      // buckets * 768 rows of width
    Aligned<int16_t> feature_bias;         // width
    Aligned<int16_t> output_weights;       // outputs rows of 2 * width, the side to move's half first
    std::array<int32_t, KB_MAX_OUTPUTS> output_bias{};
};

// The loaded king-bucket network. Written only by the loaders, on the main
// thread while no search runs. When loaded it evaluates in place of the
// design's networks (a load of either kind drops the other).
struct KbNetSet {
    KbNetwork net;
    bool loaded = false;
    uint32_t generation = 0;   // raised by every load, so contexts drop their accumulators
};
extern KbNetSet kb_networks;

// True when bytes begin with the "ZKN2" magic.
bool is_kb_network(std::span<const unsigned char> bytes);

// Checks and loads a whole "ZKN2" file image; name goes into the messages.
// All or nothing: a refused file leaves every loaded network as it was.
NnLoad load_kb_network(std::span<const unsigned char> bytes, const char* name);
void unload_kb_network();

// Feature index (below buckets * 768) of a piece of `colour` and `type`
// on sq, seen by `perspective` whose king stands on king_sq.
int kb_feature(const KbNetwork& net, int perspective, int king_sq, int colour, int type, int sq);
// Which refresh cache a perspective's king square uses: bucket, and mirror half.
int kb_king_slot(const KbNetwork& net, int perspective, int king_sq);
// The output head for a board with `pieces` pieces.
int kb_output_bucket(const KbNetwork& net, int pieces);

// One accumulator pair on a thread's stack: the position it belongs to
// (history index and key) and, per perspective, whether it is computed.
struct KbAccumulator {
    int16_t* values[2] = {nullptr, nullptr};
    uint64_t key = 0;
    bool valid[2] = {false, false};
};

// A perspective's last accumulator for one king slot and the pieces it was
// made from: a refresh adds and removes only the difference.
struct KbRefreshEntry {
    int16_t* values = nullptr;
    Bitboard pieces[12] = {};
    bool valid = false;
};

// A search thread's king-bucket state: the accumulator stack indexed by the
// owner's history count, the refresh caches and a scratch pair for
// positions without an owner.
struct KbContext {
    uint32_t generation = 0;
    int width = 0;
    KbAccumulator stack[HISTORY_CAPACITY + 1];
    KbRefreshEntry refresh[2][2 * KB_MAX_BUCKETS];
    Aligned<int16_t> storage;
    uint32_t jitter_seed = 0;              // one rand() draw when first made
    uint64_t refreshes = 0, updates = 0;   // counts for the benchmarks
};

bool kb_context_ready(const KbContext& ctx);
// Sizes the context for the loaded network and empties it; false without memory.
bool kb_init_thread(KbContext& ctx);

// The network's score of pos in centipawns, from the side to move's view:
// accumulators brought up to date move by move from the nearest computed one
// on the stack, or refreshed from the cache when the king changed slot. The
// context must be ready. Allocates nothing.
int kb_evaluate(KbContext& ctx, const Position& pos);

// The same score from accumulators summed afresh (the reference for tests).
int kb_evaluate_fresh(const KbNetwork& net, const Position& pos);

} // namespace zelk
