// Perft speed from the start position (depth 6) and the castling/en-passant
// position (depth 5). When Debian's stockfish is installed, its "go perft"
// on the same positions is timed in the same run and the ratio printed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/attacks.h"
#include "core/hashcodes.h"
#include "search/perft.h"
#include "search/thread.h"

namespace {

using namespace zelk;

struct PerftCase {
    const char* name;
    const char* fen;
    int depth;
};
constexpr PerftCase CASES[] = {
    {"startpos", START_FEN, 6},
    {"kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 5},
};

double ours_nps[2];

void BM_Perft(benchmark::State& state) {
    const PerftCase& c = CASES[state.range(0)];
    auto t = std::make_unique<SearchThread>();
    thread_record_init(*t);
    pos_from_fen(t->pos, c.fen);
    uint64_t nodes = 0;
    double seconds = 0;
    for (auto _ : state) {
        t->nodes = 0;
        auto start = std::chrono::steady_clock::now();
        perft(*t, t->pos.side, 1, c.depth);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        nodes += t->nodes;
    }
    state.SetLabel(c.name);
    state.counters["nodes"] = double(t->nodes);
    state.counters["nps"] = benchmark::Counter(double(nodes), benchmark::Counter::kIsRate);
    ours_nps[state.range(0)] = double(nodes) / seconds;
}
BENCHMARK(BM_Perft)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Debian installs its engines in /usr/games, which is not always on the PATH.
std::string stockfish_path() {
    return std::system("command -v stockfish >/dev/null 2>&1") == 0 ? "stockfish" : "/usr/games/stockfish";
}

// Wall time of one stockfish run fed `input`; output lines matching "Nodes searched" counted.
double run_stockfish(const std::string& input, uint64_t& nodes) {
    std::string command = "printf '" + input + "' | " + stockfish_path() + " 2>/dev/null";
    auto start = std::chrono::steady_clock::now();
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return -1;
    char line[512];
    nodes = 0;
    while (std::fgets(line, sizeof line, p))
        if (std::strncmp(line, "Nodes searched: ", 16) == 0)
            nodes = std::strtoull(line + 16, nullptr, 10);
    pclose(p);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void compare_with_stockfish() {
    if (std::system(("command -v " + stockfish_path() + " >/dev/null 2>&1").c_str()) != 0) {
        std::printf("stockfish not installed: no comparison\n");
        return;
    }
    uint64_t unused;
    double startup = run_stockfish("quit\\n", unused);
    for (int i = 0; i < 2; ++i) {
        const PerftCase& c = CASES[i];
        uint64_t nodes;
        std::string input = std::string("position fen ") + c.fen + "\\ngo perft " + std::to_string(c.depth) + "\\n";
        double best = 1e9;
        for (int run = 0; run < 3; ++run)
            best = std::min(best, run_stockfish(input, nodes) - startup);
        if (nodes == 0) {
            std::printf("%s: stockfish gave no perft count\n", c.name);
            continue;
        }
        double theirs = double(nodes) / best;
        std::printf("%-9s depth %d: ours %.1f Mnps, stockfish %.1f Mnps, ratio ours/theirs %.2f\n", c.name, c.depth,
                    ours_nps[i] / 1e6, theirs / 1e6, ours_nps[i] / theirs);
    }
}

} // namespace

int main(int argc, char** argv) {
    init_attack_tables();
    make_hash_codes();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    compare_with_stockfish();
    return 0;
}
