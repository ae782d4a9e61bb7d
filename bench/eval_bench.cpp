// Evaluations per second of the hand-crafted evaluation over a fixed set:
// twelve positions (openings, middle games, endings) and every position one
// legal move away from them. "Uncached" evaluates at the root ply, where
// neither the evaluation cache nor the pawn hash is reused; "PawnHash" below
// the root with the evaluation cache emptied before every pass, so only pawn
// structures hit; "Cached" below the root with both caches kept, where every
// pass after the first is answered by the evaluation cache.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/attacks.h"
#include "core/hashcodes.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "engine/options.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/weights.h"
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

// Each position as a root, then every child: positions are set up once and
// stored, so the timed loop only evaluates.
std::vector<Position> bench_positions(SearchThread& t) {
    std::vector<Position> set;
    for (const char* fen : FENS) {
        pos_from_fen(t.pos, fen);
        set.push_back(t.pos);
        MoveEntry list[MAX_MOVES];
        gen_all(t.pos, list);
        std::vector<Move> moves;
        for (MoveEntry* e = list; e->move != END_OF_LIST; ++e)
            if (is_legal(t.pos, t.pos.side, e->move))
                moves.push_back(e->move);
        for (Move m : moves) {
            make_move(t.pos, m);
            set.push_back(t.pos);
            unmake_move(t.pos);
        }
    }
    return set;
}

void run(benchmark::State& state, int ply, bool empty_eval_cache) {
    auto t = std::make_unique<SearchThread>();
    thread_record_init(*t);
    const std::vector<Position> set = bench_positions(*t);
    int64_t evaluations = 0;
    int sum = 0;
    for (auto _ : state) {
        if (empty_eval_cache) {
            state.PauseTiming();
            std::memset(t->eval_cache, 0, sizeof t->eval_cache);
            state.ResumeTiming();
        }
        for (const Position& p : set) {
            t->pos = p;
            t->pos.owner = t.get();
            sum += evaluate(*t, t->pos.side, ply, 0, 0);
        }
        evaluations += int64_t(set.size());
    }
    benchmark::DoNotOptimize(sum);
    state.counters["positions"] = double(set.size());
    state.counters["evals/s"] = benchmark::Counter(double(evaluations), benchmark::Counter::kIsRate);
    if (t->evals)
        state.counters["eval hit %"] = 100.0 * double(t->eval_hits) / double(t->evals);
    if (t->pawn_probes)
        state.counters["pawn hit %"] = 100.0 * double(t->pawn_hits) / double(t->pawn_probes);
}

void BM_EvalUncached(benchmark::State& state) { run(state, 1, false); }
void BM_EvalPawnHash(benchmark::State& state) { run(state, 2, true); }
void BM_EvalCached(benchmark::State& state) { run(state, 2, false); }
BENCHMARK(BM_EvalUncached)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_EvalPawnHash)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_EvalCached)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    init_attack_tables();
    make_hash_codes();
    eval_settings.Contempt = 0;
    eval_settings.contempt_base = 15;
    for (auto& pair : eval_settings.eval_scales)
        pair[0] = pair[1] = 100;
    init_eval_params();
    build_kpk_table();
    eval_settings.Use_NN_eval = 0;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
