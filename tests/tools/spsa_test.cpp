// The SPSA list as a tuner takes it, and every name in it is an option of
// the tuning build, bounded as the list says.
#include <gtest/gtest.h>

#include <cstdio>

#include "run_engine.h"

namespace zelk::test {
namespace {

struct SpsaEntry {
    std::string name;
    int value, min, max;
    double c_end, r_end;
};

// Lines "Name, int, value, min, max, c_end, r_end".
std::vector<SpsaEntry> spsa_list(const char* binary) {
    std::vector<SpsaEntry> list;
    for (const std::string& line : run_engine({"spsa", "quit"}, "", "", 30, binary).lines()) {
        if (line.find(", int, ") == std::string::npos)
            continue;
        SpsaEntry e;
        char name[64] = "";
        int end = 0;
        EXPECT_EQ(std::sscanf(line.c_str(), "%63[^, ], int, %d, %d, %d, %lf, %lf%n", name, &e.value, &e.min, &e.max,
                              &e.c_end, &e.r_end, &end), 6) << line;
        EXPECT_EQ(size_t(end), line.size()) << line;
        e.name = name;
        list.push_back(e);
    }
    return list;
}

TEST(Spsa, ListParsesAndEveryNameIsAnOptionOfTheTuningBuild) {
    const auto list = spsa_list(ZELK_TUNE_BINARY);
    ASSERT_GE(list.size(), 8u);
    std::string commands = "uci\n";
    for (const SpsaEntry& e : list) {
        EXPECT_TRUE(e.min <= e.value && e.value <= e.max) << e.name;
        EXPECT_GT(e.c_end, 0) << e.name;
        EXPECT_LT(e.c_end, e.max - e.min) << e.name;
        EXPECT_TRUE(e.r_end > 0 && e.r_end < 1) << e.name;
        commands += "setoption name " + e.name + " value " + std::to_string(e.max + 1000) + "\n";
    }
    const EngineRun tune = run_engine({}, commands, "", 30, ZELK_TUNE_BINARY);
    for (const SpsaEntry& e : list) {
        EXPECT_TRUE(contains(tune.lines(), "option name " + e.name + " type spin default " + std::to_string(e.value)))
            << e.name << "\n" << tune.output;
        EXPECT_TRUE(has_line(tune, "info string " + e.name + " set to " + std::to_string(e.max))) << e.name;
    }
    // The normal build lists the same and keeps its options to the design's.
    EXPECT_EQ(spsa_list(ZELK_BINARY).size(), list.size());
    EXPECT_FALSE(contains(run_engine({}, "uci\n").lines(), "option name FP_step "));
}

} // namespace
} // namespace zelk::test
