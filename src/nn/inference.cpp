#include <cassert>
#include <cstdlib>
#include <cstring>

#include "core/attacks.h"
#include "nn/inference.h"

namespace zelk {

namespace {

bool can_reuse(const NnCache& cache, const NnContext& ctx, Bitboard occupancy) {
    const int count_change = ctx.count - cache.count;
    return cache.count >= 0 && count_change <= NN_REUSE_LIMIT && count_change >= -NN_REUSE_LIMIT &&
           popcount(cache.occupancy ^ occupancy) <= NN_REUSE_LIMIT && cache.extended == ctx.extended &&
           cache.net == ctx.net && ctx.ply >= 2;
}

// Takes the cached sums from the cached features to the new ones: rows of
// features that left are subtracted, rows of features that came are added.
void update_first_layer(NnContext& ctx, NnCache& cache) {
    const Network& net = *ctx.net;
    uint8_t* marker = ctx.marker;
    for (int i = 0; i < ctx.count; ++i)
        marker[ctx.features[i]] = 1;
    for (int i = 0; i < cache.count; ++i) {
        const int f = cache.features[i];
        if (marker[f])
            marker[f] = 2;   // in both lists: nothing to do
        else
            vec_sub_row(cache.sums, net.w1 + size_t(f) * size_t(net.stride1), net.stride1);
    }
    for (int i = 0; i < ctx.count; ++i) {
        const int f = ctx.features[i];
        if (marker[f] == 1)
            vec_add_row(cache.sums, net.w1 + size_t(f) * size_t(net.stride1), net.stride1);
        marker[f] = 0;
    }
}

} // namespace

bool nn_context_ready(const NnContext& ctx) {
    return ctx.storage && ctx.generation == networks.generation;
}

bool nn_init_thread(NnContext& ctx) {
    const int need1 = networks.max_stride1, need2 = networks.max_stride2;
    const int need_out = pad_to_lanes(networks.max_outputs);
    if (!ctx.storage || need1 > ctx.capacity1 || need2 > ctx.capacity2 || need_out > ctx.capacity_out) {
        if (!ctx.storage)
            ctx.jitter_seed = uint32_t(std::rand());
        // Activations of both layers and the outputs; the sums of the two caches.
        AlignedFloats storage = alloc_floats(size_t(need1) + size_t(need2) + size_t(need_out));
        Aligned<int32_t> sums = alloc_aligned<int32_t>(size_t(need1) * 2);
        if (!storage || !sums)
            return false;
        ctx.storage = std::move(storage);
        ctx.cache_storage = std::move(sums);
        ctx.capacity1 = need1;
        ctx.capacity2 = need2;
        ctx.capacity_out = need_out;
        float* p = ctx.storage.get();
        ctx.hidden1_out = p;
        ctx.hidden2_out = p + need1;
        ctx.out = ctx.hidden2_out + need2;
        ctx.cache[0].sums = ctx.cache_storage.get();
        ctx.cache[1].sums = ctx.cache_storage.get() + need1;
    }
    for (NnCache& cache : ctx.cache) {
        cache.count = -1;
        cache.net = nullptr;
    }
    std::memset(ctx.marker, 0, sizeof ctx.marker);
    ctx.generation = networks.generation;
    return true;
}

void nn_first_layer_full(const Network& net, const uint16_t* features, int count, int32_t* sums) {
    std::memcpy(sums, net.bias1, size_t(net.stride1) * sizeof(int32_t));
    for (int i = 0; i < count; ++i)
        vec_add_row(sums, net.w1 + size_t(features[i]) * size_t(net.stride1), net.stride1);
}

const float* nn_run(NnContext& ctx, const Position& pos) {
    assert(nn_context_ready(ctx) && ctx.net && ctx.net->params);
    const Network& net = *ctx.net;
    assert(net.stride1 <= ctx.capacity1 && net.stride2 <= ctx.capacity2);
    assert(ctx.head >= 0 && ctx.head < net.outputs && (ctx.head != 1 || net.outputs >= 2));

    ctx.count = int16_t(nn_features(pos, net.inputs_a >= NN_EXTENDED_INPUTS, ctx.features, ctx.extended));
    const Bitboard occ = occupancy(pos);
    NnCache& cache = ctx.cache[pos.side];
    if (can_reuse(cache, ctx, occ))
        update_first_layer(ctx, cache);
    else
        nn_first_layer_full(net, ctx.features, ctx.count, cache.sums);
    std::memcpy(cache.features, ctx.features, size_t(ctx.count) * sizeof(uint16_t));
    cache.count = ctx.count;
    cache.extended = ctx.extended;
    cache.net = &net;
    cache.occupancy = occ;

    vec_leaky_units(ctx.hidden1_out, cache.sums, net.stride1);
    float* b = ctx.hidden2_out;
    vec_dot_rows(net.w2, net.stride1, net.hidden2, ctx.hidden1_out, net.stride1, net.extra[2], b);
    for (int j = net.hidden2; j < net.stride2; ++j)
        b[j] = 0;
    vec_leaky(b, b, net.stride2);
    if (ctx.head == 1)
        vec_dot_rows(net.w3, net.stride2, 2, b, net.stride2, 0, ctx.out);
    else
        vec_dot_rows(net.w3 + size_t(ctx.head) * size_t(net.stride2), net.stride2, 1, b, net.stride2, 0,
                     ctx.out + ctx.head);
    return ctx.out;
}

} // namespace zelk
