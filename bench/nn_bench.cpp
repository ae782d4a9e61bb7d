// Network evaluation speed against the hand-crafted evaluation, for a
// random network of the size a trained one is expected to have (1792 inputs,
// layers of 256 and 32, six heads). The positions are those a depth-3 tree
// search meets from twelve roots, in the order it meets them:
// - NetworkIncremental: below the root, so each position updates the first
//   layer of the last one with the same side to move, as in a search;
// - NetworkFull: at the root, every first layer added up afresh;
// - HandCrafted: the hand-crafted evaluation below the root with its
//   evaluation cache emptied before every pass (the pawn hash kept).
// And a random king-bucket network (4 buckets, width 256, 8 heads,
// squared activation):
// - KbIncremental: the same trees walked with make and unmake, every node
//   evaluated, its accumulators brought up from its parent's, as in a search
//   (the figure includes the moves made and taken back);
// - KbRefresh: the tree's positions out of order, every accumulator brought
//   up from the refresh cache of its king slot;
// - KbFull: every accumulator summed from the bias (the caches emptied).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/attacks.h"
#include "core/hashcodes.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/network_eval.h"
#include "eval/weights.h"
#include "net_file.h"
#include "nn/kbnet.h"
#include "nn/network.h"
#include "search/thread.h"

namespace {

using namespace zelk;

constexpr const char* FENS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -",
    "rnbqk2r/pppp1ppp/4pn2/8/2P1P3/2b2N2/PP1P1PPP/R1BQKB1R w KQkq -",
    "rnb1kb1r/pp2pppp/2pp1n2/q7/3PP3/2N2N2/PPP2PPP/R1BQKB1R w KQkq -",
    "r1bqk2r/pppp1ppp/2n2n2/4p3/1bB1P3/2N2N2/PPPP1PPP/R1BQK2R w KQkq -",
    "r1bqkbnr/pp3ppp/2np4/2p1p3/2P5/1P1P2P1/P3PP1P/RNBQKBNR w KQkq -",
    "6k1/5ppp/8/3N4/8/8/1P3PPP/6K1 w - -",
    "2r3k1/5pp1/p3p2p/1p1rP3/3R4/P4P2/1P4PP/3R2K1 b - -",
};

struct Node {
    Position pos;
    int ply;
};

void walk(SearchThread& t, int ply, int depth, std::vector<Node>& out) {
    out.push_back({t.pos, ply});
    if (depth == 0)
        return;
    MoveEntry list[MAX_MOVES];
    gen_all(t.pos, list);
    for (MoveEntry* e = list; e->move != END_OF_LIST; ++e)
        if (is_legal(t.pos, t.pos.side, e->move)) {
            make_move(t.pos, e->move);
            walk(t, ply + 1, depth - 1, out);
            unmake_move(t.pos);
        }
}

std::vector<Node>& tree_nodes(SearchThread& t) {
    static std::vector<Node> nodes;
    if (nodes.empty())
        for (const char* fen : FENS) {
            pos_from_fen(t.pos, fen);
            walk(t, 1, 3, nodes);
        }
    return nodes;
}

std::string design_file, kb_file;

// Loads the network the benchmark needs (a load of one kind drops the other).
bool use(bool kb) {
    if (kb ? kb_networks.loaded : networks.count > 0)
        return true;
    return load_network((kb ? kb_file : design_file).c_str()) == NnLoad::LOADED;
}

void network(benchmark::State& state, bool full) {
    if (!use(false)) {
        state.SkipWithError("no network");
        return;
    }
    auto t = std::make_unique<SearchThread>();
    thread_record_init(*t);
    const std::vector<Node>& nodes = tree_nodes(*t);
    NnContext& ctx = t->nn;
    if (!nn_init_thread(ctx)) {
        state.SkipWithError("no memory");
        return;
    }
    int64_t evaluations = 0;
    int sum = 0;
    for (auto _ : state) {
        for (const Node& n : nodes) {
            ctx.ply = int16_t(full ? 1 : n.ply + 1);
            sum += network_score(ctx, n.pos, false);
        }
        evaluations += int64_t(nodes.size());
    }
    benchmark::DoNotOptimize(sum);
    state.counters["positions"] = double(nodes.size());
    state.counters["evals/s"] = benchmark::Counter(double(evaluations), benchmark::Counter::kIsRate);
}

void BM_NetworkIncremental(benchmark::State& state) { network(state, false); }
void BM_NetworkFull(benchmark::State& state) { network(state, true); }

void BM_HandCrafted(benchmark::State& state) {
    auto t = std::make_unique<SearchThread>();
    thread_record_init(*t);
    const std::vector<Node>& nodes = tree_nodes(*t);
    eval_settings.Use_NN_eval = 0;
    int64_t evaluations = 0;
    int sum = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memset(t->eval_cache, 0, sizeof t->eval_cache);
        state.ResumeTiming();
        for (const Node& n : nodes) {
            t->pos = n.pos;
            t->pos.owner = t.get();
            sum += evaluate(*t, t->pos.side, n.ply + 1, 0, 0);
        }
        evaluations += int64_t(nodes.size());
    }
    eval_settings.Use_NN_eval = 1;
    benchmark::DoNotOptimize(sum);
    state.counters["evals/s"] = benchmark::Counter(double(evaluations), benchmark::Counter::kIsRate);
}

// Make/unmake and evaluate every node of the depth-3 trees.
int kb_walk(SearchThread& t, KbContext& ctx, int depth, int64_t& evaluations) {
    int sum = kb_evaluate(ctx, t.pos);
    ++evaluations;
    if (depth == 0)
        return sum;
    MoveEntry list[MAX_MOVES];
    gen_all(t.pos, list);
    for (MoveEntry* e = list; e->move != END_OF_LIST; ++e)
        if (is_legal(t.pos, t.pos.side, e->move)) {
            make_move(t.pos, e->move);
            sum += kb_walk(t, ctx, depth - 1, evaluations);
            unmake_move(t.pos);
        }
    return sum;
}

enum class KbMode { INCREMENTAL, REFRESH, FULL };

void kb_network(benchmark::State& state, KbMode mode) {
    auto t = std::make_unique<SearchThread>();
    thread_record_init(*t);
    const std::vector<Node>& nodes = tree_nodes(*t);
    KbContext& ctx = t->kb;
    if (!use(true) || !kb_init_thread(ctx)) {
        state.SkipWithError("no network");
        return;
    }
    int64_t evaluations = 0;
    int sum = 0;
    for (auto _ : state) {
        if (mode == KbMode::INCREMENTAL) {
            for (const char* fen : FENS) {
                pos_from_fen(t->pos, fen);
                sum += kb_walk(*t, ctx, 3, evaluations);
            }
            continue;
        }
        for (const Node& n : nodes) {
            if (mode == KbMode::FULL)
                for (auto& side : ctx.refresh)
                    for (KbRefreshEntry& e : side)
                        e.valid = false;
            t->pos = n.pos;   // out of its tree: no history to bring it up from
            t->pos.owner = t.get();
            sum += kb_evaluate(ctx, t->pos);
        }
        evaluations += int64_t(nodes.size());
    }
    benchmark::DoNotOptimize(sum);
    state.counters["evals/s"] = benchmark::Counter(double(evaluations), benchmark::Counter::kIsRate);
}

void BM_KbIncremental(benchmark::State& state) { kb_network(state, KbMode::INCREMENTAL); }
void BM_KbRefresh(benchmark::State& state) { kb_network(state, KbMode::REFRESH); }
void BM_KbFull(benchmark::State& state) { kb_network(state, KbMode::FULL); }

BENCHMARK(BM_NetworkIncremental)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NetworkFull)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HandCrafted)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KbIncremental)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KbRefresh)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KbFull)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    init_attack_tables();
    make_hash_codes();
    eval_settings.contempt_base = 15;
    for (auto& pair : eval_settings.eval_scales)
        pair[0] = pair[1] = 100;
    init_eval_params();
    build_kpk_table();
    const std::string stem = "/tmp/zelk_nn_bench_" + std::to_string(getpid());
    design_file = stem + ".bin";
    kb_file = stem + "-kb.bin";
    zelk::test::write_bytes(design_file,
                            zelk::test::random_net_file(zelk::test::NetShape{1792, 0, 256, 32, 6}, 1, 1));
    zelk::test::write_bytes(kb_file, zelk::test::kb_net_file(zelk::test::KbShape{4, 256, 8}, 1));
    std::printf("vector unit: %s\n", simd_name());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(design_file.c_str());
    std::remove(kb_file.c_str());
    return 0;
}
