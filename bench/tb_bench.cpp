// Tablebase speed: WDL probes per second over a fixed set of positions (ten
// per real table), cold (every table touched for the first time after a
// fresh registration) and warm; DTZ probes warm; and the search's speed in
// five-man endings with and without the tables.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <random>
#include <string>
#include <vector>

#include "core/attacks.h"
#include "core/hashcodes.h"
#include "engine/options.h"
#include "eval/kpk.h"
#include "eval/weights.h"
#include "io/locks.h"
#include "search/control.h"
#include "search/result.h"
#include "search/root.h"
#include "search/thread.h"
#include "search/threads.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "tablebase/tbcore.h"
#include "tablebase/tbprobe.h"

namespace {

using namespace zelk;

const char* DIR_PATH = ZELK_SYZYGY_DIR;

std::vector<tb::TbPosition> positions;

void quiet_init(const char* path) {
    std::FILE* saved = stdout;
    stdout = std::fopen("/dev/null", "w");
    tb::init_tablebases(path);
    std::fclose(stdout);
    stdout = saved;
}

// Ten random legal positions per table, the same every run.
void make_positions() {
    std::vector<std::string> names;
    if (DIR* d = opendir(DIR_PATH)) {
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 5 && n.substr(n.size() - 5) == ".rtbw")
                names.push_back(n.substr(0, n.size() - 5));
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::mt19937_64 rng(1);
    for (const std::string& name : names)
        for (int i = 0; i < 10;) {
            tb::TbPosition p{};
            Bitboard occ = 0;
            bool white = rng() & 1;
            for (char c : name) {
                if (c == 'v') {
                    white = !white;
                    continue;
                }
                int sq;
                do
                    sq = int(rng() % 64);
                while ((occ & bit(sq)) || (c == 'P' && (sq < 8 || sq >= 56)));
                occ |= bit(sq);
                (white ? p.white : p.black) |= bit(sq);
                Bitboard* kinds[] = {&p.kings, &p.queens, &p.rooks, &p.bishops, &p.knights, &p.pawns};
                *kinds[std::string("KQRBNP").find(c)] |= bit(sq);
            }
            p.turn = rng() & 1;
            if (tb::tb_is_valid(p)) {
                positions.push_back(p);
                ++i;
            }
        }
}

void probe_all(benchmark::State& state, bool dtz) {
    int64_t done = 0;
    for (const tb::TbPosition& p : positions) {
        int success;
        benchmark::DoNotOptimize(dtz ? tb::probe_dtz(p, success) : tb::probe_wdl(p, success));
        if (!success)
            state.SkipWithError("probe failed");
        ++done;
    }
    state.SetItemsProcessed(state.items_processed() + done);
}

void BM_WdlCold(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        quiet_init(DIR_PATH);
        state.ResumeTiming();
        probe_all(state, false);
    }
}
BENCHMARK(BM_WdlCold)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_WdlWarm(benchmark::State& state) {
    quiet_init(DIR_PATH);
    for (auto _ : state)
        probe_all(state, false);
}
BENCHMARK(BM_WdlWarm)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_DtzWarm(benchmark::State& state) {
    quiet_init(DIR_PATH);
    for (auto _ : state)
        probe_all(state, true);
}
BENCHMARK(BM_DtzWarm)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Five-man endings searched to a fixed depth.
constexpr const char* ENDINGS[] = {
    "8/8/1k6/8/3KP3/8/5r2/4R3 w - - 0 1",    // KRPvKR
    "8/3k4/8/2n5/8/3BK3/8/5N2 w - - 0 1",    // KBNvKN
    "4k3/8/8/8/1r6/8/3QK3/7R w - - 0 1",     // KQRvKR
};
constexpr int DEPTH = 14;

void search_endings(benchmark::State& state, bool tables) {
    quiet_init(tables ? DIR_PATH : "");
    double nodes = 0, hits = 0, seconds = 0;
    for (auto _ : state) {
        for (const char* fen : ENDINGS) {
            pos_from_fen(game->pos, fen);
            control.depth_limit = DEPTH;
            control.time_control_moves = 1;
            control.time_per_move = 100000;
            control.node_limit = 0;
            tt_clear();
            search_start();
            thread_setup(0);
            const auto start = std::chrono::steady_clock::now();
            search_thread_run(0);
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            control.stop_flag = 0;
            nodes += double(thread_table[0].load()->nodes);
            hits += double(thread_table[0].load()->tb_hits);
        }
    }
    state.counters["nodes"] = nodes / double(state.iterations());
    state.counters["tbhits"] = hits / double(state.iterations());
    state.counters["nps"] = nodes / seconds;
}

void BM_SearchEndingsWithoutTables(benchmark::State& state) { search_endings(state, false); }
void BM_SearchEndingsWithTables(benchmark::State& state) { search_endings(state, true); }
BENCHMARK(BM_SearchEndingsWithoutTables)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SearchEndingsWithTables)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

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
    make_positions();
    if (positions.empty()) {
        std::printf("no Syzygy tables at %s\n", DIR_PATH);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
