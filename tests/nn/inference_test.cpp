// Inference: feature symmetry (the layout: trainer's tests), outputs against
// a plain forward pass, the incremental first layer at every node of perft
// trees, the extended input set, and the vector loops against scalar ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/makemove.h"
#include "helpers.h"
#include "net_file.h"
#include "nn/inference.h"
#include "nn/network.h"
#include "nn/simd.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

// The input features, sorted (their order does not matter to the network).
std::vector<uint16_t> features_of(const Position& pos, bool extended_net) {
    uint16_t f[NN_MAX_FEATURES];
    uint8_t extended = 0;
    std::vector<uint16_t> v(f, f + nn_features(pos, extended_net, f, extended));
    std::sort(v.begin(), v.end());
    return v;
}

// The board with the files reversed (castling rights dropped): the network
// must see the same inputs, as for the colour-flipped board.
std::string mirror_files(const std::string& fen) {
    std::istringstream rows(fen.substr(0, fen.find(' ')));
    std::string out;
    for (std::string rank; std::getline(rows, rank, '/');)
        out.append(out.empty() ? "" : "/").append(rank.rbegin(), rank.rend());
    return out + ' ' + fen[fen.find(' ') + 1] + " - -";
}

class NetRun : public ::testing::Test {
protected:
    void TearDown() override { unload_networks(); }

    // Loads a random network of the shape and makes the context ready.
    void load(const NetShape& s, uint32_t seed = 11) {
        shape = s;
        const std::string path = make_temp_dir() + "/net.bin";
        write_bytes(path, random_net_file(s, 1, seed));
        params = random_params(s, seed);
        ASSERT_EQ(load_network(path.c_str()), NnLoad::LOADED);
        EXPECT_FALSE(nn_context_ready(ctx));   // a new file voids the caches
        ASSERT_TRUE(nn_init_thread(ctx));
        ctx.net = &networks.slot[0];
    }

    NetShape shape;
    std::vector<float> params;
    NnContext ctx;
};

TEST(NetFeatures, ColourFlipAndFileMirrorGiveTheSameInputs) {
    int compared = 0;
    for (const char* suite : {"perft-standard.epd", "perft-chess960.epd"})
        for (const PerftCase& c : load_perft_suite(suite)) {
            Board a(c.fen.c_str()), flipped(flip_fen(c.fen).c_str()), mirrored(mirror_files(c.fen).c_str());
            for (bool ext : {false, true}) {
                ASSERT_EQ(features_of(a.pos, ext), features_of(flipped.pos, ext)) << c.fen;
                ASSERT_EQ(features_of(a.pos, ext), features_of(mirrored.pos, ext)) << c.fen;
            }
            ++compared;
        }
    EXPECT_GT(compared, 150);
}

// Odd layer sizes leave padding in the rows, which must stay out of the sums.
TEST_F(NetRun, EveryHeadMatchesAPlainForwardPass) {
    for (const NetShape& s : {NetShape{896, 0, 24, 12, 6}, NetShape{896, 10, 6, 3, 2}}) {
        load(s);
        int checked = 0;
        for (const PerftCase& c : load_perft_suite("perft-standard.epd")) {
            Board b(c.fen.c_str());
            const std::vector<uint16_t> f = features_of(b.pos, false);
            const std::vector<double> want = reference_outputs(shape, params, f.data(), int(f.size()));
            for (int head = 0; head < s.outputs; ++head) {
                ctx.head = int16_t(head);
                ctx.ply = int16_t(1 + head % 3);
                const float* out = nn_run(ctx, b.pos);
                for (int h : {head, head == 1 ? 0 : head})   // head 1's run fills head 0 too
                    ASSERT_NEAR(out[h], want[h], 1e-4 * (1 + std::fabs(want[h]))) << c.fen << " head " << h;
            }
            ++checked;
        }
        EXPECT_EQ(checked, 106);
    }
}

// What one walk over perft trees (which hold every kind of move) met.
struct WalkStats {
    int nodes = 0, extended = 0, switches = 0;
};

// At every node the incremental sums equal a full computation, and the
// extended set is in use exactly when the kings stand on different wings.
void walk(NnContext& ctx, WalkStats& stats, Board& b, int ply, int depth) {
    const Position& pos = b.pos;
    const NnCache& cache = ctx.cache[pos.side];
    const bool was_extended = cache.count >= 0 && cache.extended;
    ctx.ply = int16_t(ply);
    nn_run(ctx, pos);
    ++stats.nodes;
    stats.extended += ctx.extended;
    stats.switches += ctx.extended != was_extended;
    alignas(64) int32_t full[256];
    nn_first_layer_full(*ctx.net, ctx.features, ctx.count, full);
    for (int i = 0; i < ctx.net->stride1; ++i)
        ASSERT_EQ(cache.sums[i], full[i]) << "neuron " << i;
    const bool wings = (file_of(pos.king_sq[WHITE]) < 4) != (file_of(pos.king_sq[BLACK]) < 4);
    ASSERT_EQ(ctx.extended, ctx.net->inputs_a >= NN_EXTENDED_INPUTS && wings);
    if (depth == 0)
        return;
    for (Move m : legal_moves(b.pos)) {
        make_move(b.pos, m);
        walk(ctx, stats, b, ply + 1, depth - 1);
        unmake_move(b.pos);
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

WalkStats walk_suites(NnContext& ctx, int depth, size_t positions_per_suite) {
    WalkStats stats;
    for (const char* suite : {"perft-standard.epd", "perft-chess960.epd"}) {
        std::vector<PerftCase> cases = load_perft_suite(suite);
        cases.resize(std::min(cases.size(), positions_per_suite));
        for (const PerftCase& c : cases) {
            Board b(c.fen.c_str());
            walk(ctx, stats, b, 1, depth);
            if (::testing::Test::HasFatalFailure()) {
                ADD_FAILURE() << c.fen;
                return stats;
            }
        }
    }
    return stats;
}

// Depth 3 from the first positions of each suite (the classic ones lead the
// standard suite); `make perft-deep` walks every position. With the extended
// set the walk must switch sets back and forth.
TEST_F(NetRun, IncrementalFirstLayerEqualsTheFullOneAtEveryNode) {
    const size_t positions = perft_depth(3) > 3 ? 1000 : 8;
    load(NetShape{896, 0, 20, 8, 1});
    EXPECT_GT(walk_suites(ctx, 3, positions).nodes, 10000);
    load(NetShape{1792, 0, 12, 8, 1});
    const WalkStats s = walk_suites(ctx, 3, positions);
    EXPECT_GT(s.extended, 0);
    EXPECT_LT(s.extended, s.nodes);
    EXPECT_GT(s.switches, 10);

    // 1900 inputs, but inputs_a says standard: never the extended set.
    load(NetShape{1000, 900, 8, 4, 1});
    Board b("4k3/8/8/8/8/8/PP6/1K6 w - -");
    ctx.ply = 1;
    nn_run(ctx, b.pos);
    EXPECT_EQ(ctx.extended, 0);
    for (int i = 0; i < ctx.count; ++i)
        EXPECT_LT(ctx.features[i], 896);
}

// The buffers grow for a larger network loaded later, the jitter seed stays,
// and the old network's cache is not reused.
TEST_F(NetRun, ALargerNetworkLoadedLaterGrowsTheBuffers) {
    load(NetShape{896, 0, 8, 4, 1});
    Board b("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
    ctx.ply = 1;
    nn_run(ctx, b.pos);
    const uint32_t seed = ctx.jitter_seed;
    load(NetShape{896, 0, 64, 32, 2}, 21);
    EXPECT_GE(ctx.capacity1, 64);
    EXPECT_EQ(ctx.jitter_seed, seed);
    ctx.head = 1;
    ctx.ply = 2;   // a ply that could reuse the cache, had it been kept
    const float* out = nn_run(ctx, b.pos);
    const std::vector<uint16_t> f = features_of(b.pos, false);
    const std::vector<double> want = reference_outputs(shape, params, f.data(), int(f.size()));
    EXPECT_NEAR(out[0], want[0], 1e-4);
    EXPECT_NEAR(out[1], want[1], 1e-4);
}

// Checks every vector loop against the scalar reference, on whichever
// vector unit is in use.
void check_vector_loops() {
    std::mt19937 gen(3);
    std::uniform_real_distribution<float> d(-2, 2);
    const int n = 68, rows = 11;
    AlignedFloats a = alloc_floats(n * rows), x = alloc_floats(n), v1 = alloc_floats(n), v2 = alloc_floats(n);
    Aligned<int32_t> rows_i = alloc_aligned<int32_t>(2 * n), s1 = alloc_aligned<int32_t>(n),
                     s2 = alloc_aligned<int32_t>(n);
    for (int i = 0; i < n * rows; ++i)
        a[i] = d(gen);
    for (int i = 0; i < n; ++i) {
        x[i] = v1[i] = v2[i] = d(gen);
        s1[i] = s2[i] = int32_t(gen() % 20001) - 10000;
        rows_i[i] = int32_t(gen() % 2001) - 1000;
        rows_i[n + i] = int32_t(gen() % 2001) - 1000;
    }

    auto same = [&](const auto& got, const auto& want, const char* loop) {
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(got[i], want[i]) << loop << " " << i;
    };
    vec_add_row(s1.get(), rows_i.get(), n);
    scalar::add_row(s2.get(), rows_i.get(), n);
    vec_sub_row(s1.get(), rows_i.get() + n, n);
    scalar::sub_row(s2.get(), rows_i.get() + n, n);
    same(s1, s2, "add and sub rows");
    vec_leaky_units(v1.get(), s1.get(), n);
    scalar::leaky_units(v2.get(), s2.get(), n);
    same(v1, v2, "leaky units");
    vec_leaky(v1.get(), a.get(), n);
    scalar::leaky(v2.get(), a.get(), n);
    same(v1, v2, "leaky");

    for (int count = 1; count <= rows; ++count)
        for (int len : {4, 8, 12, 64, n}) {
            float got[rows], want[rows];
            vec_dot_rows(a.get(), n, count, x.get(), len, 0.5f, got);
            scalar::dot_rows(a.get(), n, count, x.get(), len, 0.5f, want);
            for (int j = 0; j < count; ++j)
                ASSERT_EQ(got[j], want[j]) << simd_name() << " rows " << count << " length " << len;
        }
}

TEST(NetSimd, VectorLoopsMatchTheScalarReferenceBitForBit) {
    const bool wide = simd_set_wide(true);
    check_vector_loops();
    if (wide) {   // the four-lane loops too, on a processor that has eight
        simd_set_wide(false);
        EXPECT_STREQ(simd_name(), "SSE2");
        check_vector_loops();
        simd_set_wide(true);
    }
}

} // namespace
} // namespace zelk::test
