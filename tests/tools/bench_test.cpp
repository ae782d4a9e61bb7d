// The benchmark jobs against the built engine: the signature bench as a
// testing framework's worker reads it, the hand-crafted node total and the
// report lines in both protocol modes, and the direct variant. ("quit"
// during an offline job: analyse_test.)
#include <gtest/gtest.h>

#include <cctype>
#include <future>
#include <iterator>
#include <sstream>

#include "bench_signature.h"
#include "helpers.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

struct BenchReport {
    int status = 0;
    std::vector<std::string> lines;   // from the "running benchmark" line on
    std::vector<int> positions;       // numbers of the "pos" lines
    uint64_t nodes = 0;
    bool has_total = false;
};

BenchReport run_bench(const std::vector<std::string>& args, int seconds = 120) {
    const EngineRun run = run_engine(args, "", "", seconds);
    BenchReport report;
    report.status = run.status;
    bool started = false;
    for (const std::string& line : run.lines()) {
        started = started || line.find("running benchmark") != std::string::npos;
        if (!started)
            continue;
        report.lines.push_back(line);
        // "pos" lines align their numbers with runs of blanks.
        std::string squeezed;
        for (char c : line)
            if (c != ' ' || !squeezed.ends_with(' '))
                squeezed += c;
        std::vector<std::string> f;
        if (fits(squeezed, "pos #: #.?? seconds", &f))
            report.positions.push_back(std::stoi(f[0]));
        f.clear();
        if (fits(line, "total time= #.?? seconds, nodes= #, nps= #", &f)) {
            report.nodes = std::stoull(f[3]);
            report.has_total = true;
        }
    }
    return report;
}

// A worker reads the output from the last line up, every character that is
// not a letter, digit or blank read as a blank, and takes the first number
// next to "nodes" and the first next to "nps".
struct WorkerReading {
    uint64_t nodes = 0, nps = 0;
};

WorkerReading read_like_a_worker(const std::vector<std::string>& lines) {
    WorkerReading r;
    for (auto line = lines.rbegin(); line != lines.rend() && (!r.nodes || !r.nps); ++line) {
        std::string clean = *line;
        for (char& c : clean)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != ' ')
                c = ' ';
        std::istringstream in(clean);
        std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
        for (size_t i = 0; i < words.size(); ++i) {
            if (words[i] != "nodes" && words[i] != "nps")
                continue;
            uint64_t& field = words[i] == "nodes" ? r.nodes : r.nps;
            for (size_t j : {i - 1, i + 1})
                if (!field && j < words.size() && std::isdigit(static_cast<unsigned char>(words[j][0])))
                    field = std::stoull(words[j]);
        }
    }
    return r;
}

// Two at once, with no input, as workers run it: the same nodes every time.
TEST(Bench, SignatureAsAWorkerReadsIt) {
    auto bench = [] { return run_engine({"bench"}, "", "", 120); };
    auto other = std::async(std::launch::async, bench);
    const EngineRun first = bench(), second = other.get();
    for (const EngineRun* run : {&first, &second}) {
        ASSERT_EQ(run->status, 0) << run->output;
        const auto lines = run->lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("Bench: ", 0), 0u) << lines.back();
        const WorkerReading r = read_like_a_worker(lines);
        EXPECT_EQ(r.nodes, BENCH_SIGNATURE)
            << "The bench node total changed, so the search or the evaluation behaves differently. If that is "
               "intended, set BENCH_SIGNATURE in tests/tools/bench_signature.h to "
            << r.nodes << " and end the commit message with \"Bench: " << r.nodes << "\".";
        EXPECT_GT(r.nps, 0u);
    }
    // A depth of its own; a word that is no depth keeps the default.
    const WorkerReading shallow = read_like_a_worker(run_engine({"bench", "5"}, "").lines());
    EXPECT_GT(shallow.nodes, 0u);
    EXPECT_LT(shallow.nodes, BENCH_SIGNATURE / 10);
    EXPECT_EQ(read_like_a_worker(run_engine({"bench", "deep"}, "", "", 120).lines()).nodes, BENCH_SIGNATURE);
}

// The report lines and the total, the same in both protocol modes.
TEST(Bench, HandCraftedTotalIsUnchanged) {
    const std::string depth = std::to_string(HCE_BENCH_DEPTH);
    const BenchReport r = run_bench({"-use_hce", "-bench", "-d", depth});
    ASSERT_EQ(r.status, 0);
    ASSERT_TRUE(r.has_total);
    EXPECT_EQ(r.nodes, HCE_BENCH_NODES)
        << "The hand-crafted bench total changed: if that is intended, set HCE_BENCH_NODES in "
           "tests/tools/bench_signature.h to "
        << r.nodes;
    ASSERT_EQ(r.lines.size(), 22u);
    EXPECT_EQ(r.lines[0], "Zelk 5.20 running benchmark using 1 threads");
    std::vector<int> expected(20);
    for (int i = 0; i < 20; ++i)
        expected[size_t(i)] = i + 1;
    EXPECT_EQ(r.positions, expected);
    EXPECT_EQ(run_bench({"-use_hce", "-c", "-bench", "-d", depth}).nodes, r.nodes) << "console mode";
}

TEST(Bench, DirectVariantSearchesTenPositionsOnAllThreads) {
    // The direct benchmark always searches to depth 17: a node limit keeps it short.
    const BenchReport r = run_bench({"-use_hce", "-pbench", "-n", "20000", "-threads", "2"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.lines[0], "Zelk 5.20 running benchmark using 2 threads");
    EXPECT_EQ(r.positions.size(), 10u);
    ASSERT_TRUE(r.has_total);
    // Each search stops at its node limit, counted per thread.
    EXPECT_GE(r.nodes, 10u * 20000u);
}

} // namespace
} // namespace zelk::test
