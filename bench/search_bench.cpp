// Search speed: nodes per second of a single-threaded fixed-depth search over
// a set of positions, with the hand-crafted evaluation and with a random
// network of the expected size (1792 inputs, layers of 256 and 32, six
// heads). When Debian's ethereal-chess is installed, its speed on the same
// positions at the same depth is measured in the same run and the ratio to
// the hand-crafted search printed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "core/attacks.h"
#include "core/hashcodes.h"
#include "search/control.h"
#include "io/locks.h"
#include "engine/options.h"
#include "eval/kpk.h"
#include "eval/weights.h"
#include "net_file.h"
#include "nn/network.h"
#include "search/result.h"
#include "search/root.h"
#include "search/thread.h"
#include "search/threads.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace {

using namespace zelk;

constexpr const char* POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "2r3k1/1pq1b1p1/p1b1pr1p/8/PP2pP2/2P1B3/4B1PP/RQR4K w - -",
    "r2q1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "4rrk1/pp1n3p/3q2pQ/2p1pb2/2PP4/2P3N1/P2B2PP/4RRK1 b - -",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -",
};
constexpr int DEPTH = 10;

struct Totals {
    double nodes = 0, seconds = 0;
} ours, ours_network;

uint64_t search_once(const char* fen) {
    pos_from_fen(game->pos, fen);
    control.depth_limit = DEPTH;
    control.time_control_moves = 1;
    control.time_per_move = 100000;
    control.node_limit = 0;
    tt_clear();
    search_start();
    thread_setup(0);
    search_thread_run(0);
    control.stop_flag = 0;
    return thread_table[0].load()->nodes;
}

void search_all(benchmark::State& state, bool use_network, Totals& totals) {
    eval_settings.Use_NN_eval = use_network;
    for (auto _ : state) {
        double nodes = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const char* fen : POSITIONS)
            nodes += double(search_once(fen));
        totals.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        totals.nodes += nodes;
        state.counters["nodes"] = nodes;
    }
    state.counters["nps"] = benchmark::Counter(totals.nodes, benchmark::Counter::kIsRate);
}

void BM_SearchDepth(benchmark::State& state) { search_all(state, false, ours); }
void BM_SearchDepthNetwork(benchmark::State& state) { search_all(state, true, ours_network); }
BENCHMARK(BM_SearchDepth)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SearchDepthNetwork)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Nodes and milliseconds from the last "info ... depth D ... nodes N ... time T" line of a reference engine.
bool reference_search(const char* engine, const char* fen, double& nodes, double& ms) {
    const std::string command = std::string("(printf 'uci\\nsetoption name Hash value 16\\nisready\\nposition fen ") +
                                fen + " 0 1\\ngo depth " + std::to_string(DEPTH) + "\\n'; sleep 60) | timeout 60 " + engine +
                                " 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return false;
    char line[4096];
    nodes = ms = 0;
    bool done = false;
    while (std::fgets(line, sizeof line, p)) {
        if (std::strncmp(line, "bestmove", 8) == 0) {
            done = true;
            break;
        }
        const char* n = std::strstr(line, " nodes ");
        const char* t = std::strstr(line, " time ");
        if (n && t) {
            nodes = std::atof(n + 7);
            ms = std::atof(t + 6);
        }
    }
    pclose(p);
    return done && nodes > 0;
}

void compare_with_ethereal() {
    const char* engine = "/usr/games/ethereal-chess";
    if (std::system("test -x /usr/games/ethereal-chess") != 0) {
        std::printf("ethereal-chess not installed: no comparison\n");
        return;
    }
    double nodes = 0, ms = 0;
    for (const char* fen : POSITIONS) {
        double n, t;
        if (!reference_search(engine, fen, n, t)) {
            std::printf("ethereal-chess gave no result for %s\n", fen);
            return;
        }
        nodes += n;
        ms += t;
    }
    const double ours_nps = ours.nodes / ours.seconds, theirs_nps = nodes / (ms / 1000);
    std::printf("depth %d over %zu positions: ours %.0f nodes %.2f Mnps, ethereal-chess %.0f nodes %.2f Mnps, "
                "speed ratio ours/theirs %.2f\n",
                DEPTH, std::size(POSITIONS), ours.nodes / 2, ours_nps / 1e6, nodes, theirs_nps / 1e6,
                ours_nps / theirs_nps);
}

} // namespace

int main(int argc, char** argv) {
    init_attack_tables();
    build_kpk_table();
    if (init_locks() != 0)
        return 1;
    game = new SearchThread{};
    thread_record_init(*game);
    options_set_defaults(".");
    search_settings.Hash = 16;
    control.noise = 9999;
    control.thread_count = 1;
    if (!tt_alloc())
        return 1;
    init_eval_params();
    const std::string path = "/tmp/zelk_search_bench_" + std::to_string(getpid()) + ".bin";
    zelk::test::write_bytes(path, zelk::test::random_net_file(zelk::test::NetShape{1792, 0, 256, 32, 6}, 1, 1));
    const NnLoad loaded = load_network(path.c_str());
    std::remove(path.c_str());
    if (loaded != NnLoad::LOADED)
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("network search nps / hand-crafted search nps: %.2f\n",
                (ours_network.nodes / ours_network.seconds) / (ours.nodes / ours.seconds));
    compare_with_ethereal();
    return 0;
}
