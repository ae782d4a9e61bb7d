// Offline-job speed, measured on the engine binary: positions per second of
// "-scan_pgn2" on a PGN file of at least 50 MB (the shared human games and
// the self-play test games, repeated, written under /tmp), and of
// "-mktune2" at depth 4 on the positions scanned from the self-play games.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const std::string WORK = "/tmp/zelk-pgn-bench";
constexpr size_t MIN_BYTES = size_t(50) << 20;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the engine in WORK with the switches; returns its last output line.
std::string run(const std::string& switches) {
    const std::string command = "cd " + WORK + " && " + ZELK_BINARY + " -use_hce " + switches + " > job.txt 2>&1";
    if (std::system(command.c_str()) != 0)
        return "";
    std::ifstream in(WORK + "/job.txt");
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty())
            last = line;
    return last;
}

// The number after `key` in `line`.
double value_after(const std::string& line, const std::string& key) {
    const size_t at = line.find(key);
    return at == std::string::npos ? 0 : std::atof(line.c_str() + at + key.size());
}

void make_big_pgn() {
    std::system(("mkdir -p " + WORK).c_str());
    const std::string human = slurp(ZELK_SHARED_DATA "/suites/games-human.pgn");
    const std::string selfplay = slurp(ZELK_TEST_DATA "/selfplay-20.pgn");
    std::ofstream out(WORK + "/big.pgn", std::ios::binary);
    size_t bytes = 0;
    while (bytes < MIN_BYTES) {
        out << human << "\n" << selfplay << "\n";
        bytes += human.size() + selfplay.size() + 2;
    }
}

void BM_ScanPgn2(benchmark::State& state) {
    make_big_pgn();
    double positions = 0, games = 0;
    for (auto _ : state) {
        const std::string last = run("-scan_pgn2 big.pgn -o big.epd");
        positions += value_after(last, "positions= ");
        games += value_after(last, "games= ");
    }
    state.counters["positions/s"] = benchmark::Counter(positions, benchmark::Counter::kIsRate);
    state.counters["games/s"] = benchmark::Counter(games, benchmark::Counter::kIsRate);
    state.counters["positions"] = positions / double(state.iterations());
}
BENCHMARK(BM_ScanPgn2)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_MakeTune2Depth4(benchmark::State& state) {
    std::system(("mkdir -p " + WORK).c_str());
    run(std::string("-scan_pgn2 ") + ZELK_TEST_DATA + "/selfplay-20.pgn -o selfplay.epd");
    double searched = 0, written = 0;
    for (auto _ : state) {
        const std::string last = run("-d 4 -mktune2 selfplay.epd -o tune.epd");
        searched += value_after(last, "searched= ");
        written += value_after(last, "written= ");
    }
    state.counters["positions/s"] = benchmark::Counter(searched, benchmark::Counter::kIsRate);
    state.counters["searched"] = searched / double(state.iterations());
    state.counters["written"] = written / double(state.iterations());
}
BENCHMARK(BM_MakeTune2Depth4)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
