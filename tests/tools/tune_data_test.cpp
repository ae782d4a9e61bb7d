// The tuning-data job: its filters and the tablebase pull as functions, and
// the job against the built engine on hand-made lines.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "run_engine.h"
#include "tools/tune_data.h"

namespace zelk::test {
namespace {

TEST(TuneData, ConsistencyAndSearchFilters) {
    EXPECT_DOUBLE_EQ(win_probability(0), 0.5);
    EXPECT_NEAR(win_probability(-200), 0.2315, 1e-4);
    // A won game whose score says -200 (p about 0.23) is dropped; -100 stays.
    EXPECT_TRUE(is_inconsistent(-200, 1.0));
    EXPECT_FALSE(is_inconsistent(-100, 1.0));
    EXPECT_TRUE(is_inconsistent(200, 0.0));
    EXPECT_FALSE(is_inconsistent(100, 0.0));
    EXPECT_TRUE(is_inconsistent(300, 0.5));    // p 0.858
    EXPECT_FALSE(is_inconsistent(-250, 0.5));  // p 0.182
    EXPECT_TRUE(is_inconsistent(-300, 0.5));
    // The search score against the result.
    EXPECT_FALSE(search_agrees(300, 0.0));
    EXPECT_TRUE(search_agrees(280, 0.0));
    EXPECT_FALSE(search_agrees(-300, 1.0));
    EXPECT_TRUE(search_agrees(-280, 1.0));
    EXPECT_FALSE(search_agrees(300, 0.5));
    EXPECT_FALSE(search_agrees(-300, 0.5));
    EXPECT_TRUE(search_agrees(280, 0.5));
}

TEST(TuneData, TablebaseRootPullsHalfway) {
    EXPECT_EQ(tablebase_adjusted(100, -1), 100);
    EXPECT_EQ(tablebase_adjusted(100, 4), 4950);
    EXPECT_EQ(tablebase_adjusted(100, 0), -4850);
    EXPECT_EQ(tablebase_adjusted(101, 2), 50);
    EXPECT_EQ(tablebase_adjusted(-7, 1), -3);
}

// Skipped lines, a dropped contradiction, a position in check, the three
// kinds of line, and a position without kings that ends the job.
const char* const INPUT =
    "# comment\n"
    "  6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - ce 10;\n"
    "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - -\n"
    "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - ce 123;\n"
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce -200; gr 1.0;\n"
    "4k3/8/8/8/8/8/4r3/4K3 w - - ce 0; gr 0.5;\n"
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 20; gr 0.5;\n"
    "8/8/8/8/8/8/8/8 w - - ce 0;\n"
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\n";

TEST(TuneData, BothVariantsOnHandMadeLines) {
    const std::string dir = make_temp_dir();
    std::ofstream(dir + "/in.epd") << INPUT;
    EngineRun run = run_engine({"-use_hce", "-d", "3", "-mktune2", "in.epd", "-o", "out.epd"}, "", dir);
    auto lines = run.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "Creating file out.epd");
    EXPECT_EQ(lines[lines.size() - 2], "8/8/8/8/8/8/8/8 w - - ce 0;");
    EXPECT_EQ(lines.back(), "positions= 6, inconsistent= 1, in check= 1, searched= 3, disagreeing= 0, written= 3");
    auto out = read_lines(dir + "/out.epd");
    ASSERT_EQ(out.size(), 3u);
    // Mate in one: the search score, with or without an input score.
    EXPECT_EQ(out[0], "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - sc 9998;");
    EXPECT_EQ(out[1], "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - sc 9998;");
    EXPECT_TRUE(std::regex_match(out[2], std::regex(R"(rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 20; sc -?\d+; gr 0\.5;)")))
        << out[2];

    // Variant 1 writes the end of the principal variation: after the
    // mating move black is to move, so the scores turn over.
    run = run_engine({"-use_hce", "-d", "3", "-mktune1", "in.epd", "-o", "out1.epd"}, "", dir);
    out = read_lines(dir + "/out1.epd");
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], "R5k1/5ppp/8/8/8/8/5PPP/6K1 b - - -9998;");
    EXPECT_EQ(out[1], "R5k1/5ppp/8/8/8/8/5PPP/6K1 b - - ce -123;");
    EXPECT_TRUE(std::regex_match(out[2], std::regex(R"(\S+ [wb] \S+ \S+ ce -?20; sc -?\d+; gr 0\.5;)"))) << out[2];
}

TEST(TuneData, OutputNamedLikeInputDoesNothing) {
    const std::string dir = make_temp_dir();
    std::ofstream(dir + "/in.epd") << INPUT;
    EngineRun run = run_engine({"-use_hce", "-d", "3", "-mktune2", "in.epd", "-o", "in.epd"}, "", dir);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.find("Creating file"), std::string::npos);
    EXPECT_EQ(read_lines(dir + "/in.epd").size(), 9u);
    run = run_engine({"-use_hce", "-d", "3", "-mktune2", "missing.epd", "-o", "out.epd"}, "", dir);
    EXPECT_EQ(run.lines().back(), "info string cannot open missing.epd");
}

} // namespace
} // namespace zelk::test
