// Every option at its bounds through "setoption": the echo, the default the
// next "uci" shows, and the value where the engine reads it.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "core/notation.h"
#include "engine/interpreter.h"
#include "engine/options.h"
#include "eval/evaluate.h"
#include "helpers.h"
#include "io/output.h"
#include "search/control.h"
#include "search/search.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace zelk {
namespace {

// What one UCI command prints on standard output.
std::string uci_output(const std::string& line) {
    ::testing::internal::CaptureStdout();
    uci_command(line);
    return ::testing::internal::GetCapturedStdout();
}

// The integer options with the range the setter clamps to, and where each
// value takes effect.
const struct {
    const char* name;
    int min, max;
    int (*in_effect)();
} SPINS[] = {
    {"Hash", 0, 32768, [] { return int(tt.count / 65536); }},   // megabytes allocated
    {"Threads", 1, 160, [] { return control.thread_count; }},
    {"OwnBook_Depth", 0, 60, [] { return int(options.OwnBook_Depth); }},
    {"OwnBook2_Depth", 0, 60, [] { return int(options.OwnBook2_Depth); }},
    {"OwnBook_Variety", 0, 100, [] { return int(options.OwnBook_Variety); }},
    {"SyzygyProbeDepth6", -5, 100, [] { return int(search_settings.SyzygyProbeDepth6); }},
    {"MultiPV", 1, 255, [] { search_start(); return timing.multipv; }},
    {"MoveOverhead", 0, 5000, [] { search_start(); return int(std::lround(timing.move_overhead * 1000)); }},
    {"UCI_Elo", 1500, 3300, [] { return int(search_settings.UCI_Elo); }},
    {"Contempt", -150, 150, [] { return int(eval_settings.Contempt); }},
    {"Selectivity", 0, 200, [] { set_search_params(); return params.lmr_built_for; }},
};

const struct {
    const char* name;
    int (*in_effect)();
} CHECKS[] = {
    {"Use_NN_eval", [] { return int(eval_settings.Use_NN_eval); }},
    {"OwnBook", [] { return int(options.OwnBook); }},
    {"Log", [] { return int(options.Log); }},
    {"Ponder", [] { search_start(); return timing.ponder; }},
    {"UCI_Chess960", [] { return int(notation_style.chess960); }},
    {"UCI_LimitStrength", [] { return int(search_settings.UCI_LimitStrength); }},
    {"UCI_ShowWDL", [] { return int(search_settings.UCI_ShowWDL); }},
};

const struct {
    const char* name;
    const char* (*in_effect)();
    size_t capacity;   // characters kept
} TEXTS[] = {
    {"ConfigFilePath", []() -> const char* { return options.ConfigFilePath; }, 143},
    {"NN_File", []() -> const char* { return options.NN_File; }, 149},
    {"OwnBook_File", []() -> const char* { return options.OwnBook_File; }, 143},
    {"OwnBook2_File", []() -> const char* { return options.OwnBook2_File; }, 143},
    {"SyzygyPath", []() -> const char* { return options.SyzygyPath; }, 143},
};

// Every test starts from the start-up defaults and leaves them behind.
struct Options : ::testing::Test {
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        control.search_state = STATE_IDLE;
        control.max_elo = 2900;
        set_logging(false);
        options_set_defaults("/nonexistent");
        eval_settings = EvalSettings{};
        eval_settings.contempt_base = 15;
        save_options();
        notation_style.chess960 = false;
        control.thread_count = 1;
        search_settings.Hash = 1;
        if (tt.megabytes != 1)
            tt_alloc();
    }
};

// Sets `name` to `value`, checks that the echo shows `shown`, and returns
// the option's "uci" line from its type on.
std::string set_and_show(const std::string& name, const std::string& value, const std::string& shown) {
    const std::string echo = uci_output("setoption name " + name + " value " + value);
    EXPECT_NE(echo.find("info string " + name + " set to " + shown + "\n"), std::string::npos) << echo;
    std::istringstream in(uci_output("uci"));
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("option name " + name + " type "))
            return line.substr(13 + name.size());
    return "";
}

TEST_F(Options, IntegersAtAndBeyondTheirBounds) {
    for (const auto& s : SPINS) {
        const std::string name = s.name;
        std::vector<std::pair<std::string, int>> tries = {
            {std::to_string(s.min), s.min},     {std::to_string(s.min - 1), s.min},   {std::to_string(s.max), s.max},
            {std::to_string(s.max + 1), s.max}, {"abc", std::clamp(0, s.min, s.max)}, {"-99999999999", s.min}};
        if (name == "Hash")   // the largest tables are tried in a process of their own
            tries = {{"0", 0}, {"-1", 0}, {"abc", 0}, {"-99999999999", 0}, {"3", 3}};
        for (const auto& [value, expected] : tries) {
            SCOPED_TRACE(name + " set to " + value);
            const std::string line = set_and_show(name, value, std::to_string(expected));
            // "uci" shows the range, and its own default for UCI_Elo, up to max_elo.
            const std::string range = " min " + std::to_string(s.min) + " max " + std::to_string(name == "UCI_Elo" ? 2900 : s.max);
            EXPECT_TRUE(line.ends_with(range)) << line;
            EXPECT_TRUE(name == "UCI_Elo" || line == "type spin default " + std::to_string(expected) + range) << line;
            EXPECT_EQ(s.in_effect(), expected);
        }
    }
}

TEST_F(Options, ChecksReadTrueOnlyInLowerCase) {
    const std::pair<const char*, int> tries[] = {{"true", 1}, {"false", 0},      {"True", 0}, {"TRUE", 0},
                                                 {"1", 0},    {"it is true", 1}, {"", 0}};
    for (const auto& c : CHECKS)
        for (const auto& [value, expected] : tries) {
            SCOPED_TRACE(std::string(c.name) + " set to '" + value + "'");
            EXPECT_EQ(set_and_show(c.name, value, std::to_string(expected)),
                      std::string("type check default ") + (expected ? "true" : "false"));
            EXPECT_EQ(c.in_effect(), expected);
        }
}

TEST_F(Options, TextsAreKeptToTheirFieldSize) {
    for (const auto& t : TEXTS)
        for (const std::string& value : {std::string("no such file.bin"), std::string(300, 'x')}) {
            const std::string kept = value.substr(0, t.capacity);
            EXPECT_EQ(set_and_show(t.name, value, "'" + kept + "'"), "type string default " + kept) << t.name;
            EXPECT_EQ(t.in_effect(), kept) << t.name;
        }
}

// Hash, Threads, Clear_Hash and ConfigFilePath wait for the end of a search;
// the other rows act during one. The button clears the table.
TEST_F(Options, TheIdleOnlyRowsWaitForTheSearchAndTheClearHashButton) {
    test::Board b;
    tt.tt_age = 1;
    tt_store(b.pos, 1, 5, NO_MOVE, 10, 0, 100);
    control.search_state = STATE_SEARCHING;
    for (const char* line : {"setoption name Hash value 2", "setoption name Threads value 4", "setoption name Clear_Hash",
                             "setoption name ConfigFilePath value x.cfg"})
        EXPECT_EQ(uci_output(line), "") << line;
    EXPECT_EQ(tt.megabytes, 1);
    EXPECT_EQ(control.thread_count, 1);
    EXPECT_STREQ(options.ConfigFilePath, "");
    TTEntry e{};
    e.depth = -10;
    tt_probe(b.pos, e);
    EXPECT_EQ(e.depth, 5) << "not cleared during the search";
    // Blanks between the words do not matter.
    EXPECT_EQ(uci_output("setoption name MultiPV   value   3"), "info string MultiPV set to 3\n");
    EXPECT_EQ(uci_output("setoption name NoSuchOption value 3"), "");
    control.search_state = STATE_IDLE;
    EXPECT_EQ(uci_output("setoption name Clear_Hash"), "info string Hash table cleared\n");
    e.depth = -10;
    tt_probe(b.pos, e);
    EXPECT_LT(e.depth, 0);
}

} // namespace
} // namespace zelk
