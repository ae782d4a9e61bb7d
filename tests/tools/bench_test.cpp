// The benchmark jobs against the built engine, read as a testing framework's
// worker reads them. ("quit" during an offline job: analyse_test.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <future>
#include <iterator>
#include <sstream>

#include "bench_signature.h"
#include "helpers.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

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
        std::replace_if(clean.begin(), clean.end(), [](unsigned char c) { return !std::isalnum(c) && c != ' '; }, ' ');
        std::istringstream in(clean);
        const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
        for (size_t i = 0; i < words.size(); ++i) {
            uint64_t* field = words[i] == "nodes" ? &r.nodes : words[i] == "nps" ? &r.nps : nullptr;
            for (size_t j : {i - 1, i + 1})
                if (field && !*field && j < words.size() && std::isdigit(static_cast<unsigned char>(words[j][0])))
                    *field = std::stoull(words[j]);
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
        EXPECT_TRUE(lines.back().starts_with("Bench: ")) << lines.back();
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

// The report from its "running benchmark" line on: that line, a line per
// position and the total.
std::vector<std::string> bench_report(const std::vector<std::string>& args, int threads, int positions) {
    const EngineRun run = run_engine(args, "", "", 120);
    EXPECT_EQ(run.status, 0);
    const std::string header = "Zelk 5.20 running benchmark using " + std::to_string(threads) + " threads";
    const std::vector<std::string> all = run.lines();
    const std::vector<std::string> lines(std::find(all.begin(), all.end(), header), all.end());
    EXPECT_EQ(lines.size(), size_t(positions + 2)) << run.output;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "pos %2zu: ", i);
        EXPECT_TRUE(lines[i].starts_with(number)) << lines[i];
    }
    EXPECT_TRUE(!lines.empty() && fits(lines.back(), "total time= #.?? seconds, nodes= #, nps= #")) << run.output;
    return lines;
}

// The hand-crafted total, the same in both protocol modes; the direct
// variant searches ten positions on every thread, each to its node limit
// (it always goes for depth 17).
TEST(Bench, HandCraftedTotalAndTheDirectVariant) {
    const std::string depth = std::to_string(HCE_BENCH_DEPTH);
    const uint64_t nodes = read_like_a_worker(bench_report({"-use_hce", "-bench", "-d", depth}, 1, 20)).nodes;
    EXPECT_EQ(nodes, HCE_BENCH_NODES)
        << "The hand-crafted bench total changed: if that is intended, set HCE_BENCH_NODES in "
           "tests/tools/bench_signature.h to "
        << nodes;
    EXPECT_EQ(read_like_a_worker(bench_report({"-use_hce", "-c", "-bench", "-d", depth}, 1, 20)).nodes, nodes);
    const auto direct = bench_report({"-use_hce", "-pbench", "-n", "20000", "-threads", "2"}, 2, 10);
    EXPECT_GE(read_like_a_worker(direct).nodes, 10u * 20000u);
}

} // namespace
} // namespace zelk::test
