// The EPD line reader, and EPD analysis through the built engine: a real
// suite, the judging of bm, am and c0, and input to skip or refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "core/notation.h"
#include "helpers.h"
#include "run_engine.h"
#include "tools/epd.h"

namespace zelk::test {
namespace {

const std::string SUITE = std::string(ZELK_TEST_DATA) + "/bestmove-40.epd";

// "-anepd" with `args`, run in `dir`: the output lines from "Analyzing" on.
std::vector<std::string> analyse(const std::string& dir, std::vector<std::string> args, int seconds = 30) {
    args.insert(args.begin(), {"-use_hce", "-anepd"});
    const EngineRun run = run_engine(args, "", dir, seconds);
    EXPECT_EQ(run.status, 0) << run.output;
    std::vector<std::string> out;
    for (const std::string& line : run.lines())
        if (!out.empty() || line.starts_with("Analyzing "))
            out.push_back(line);
    return out;
}

std::string summary_value(const std::vector<std::string>& lines, const std::string& prefix) {
    const std::string line = line_starting(lines, prefix);
    return line.empty() ? "<missing " + prefix + ">" : line.substr(prefix.size());
}

bool has_fit(const std::vector<std::string>& lines, const std::string& pattern) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return fits(l, pattern); });
}

TEST(EpdAnalysis, SuiteAtFixedDepthWritesEveryPositionAndAddsUp) {
    const std::string dir = make_temp_dir();
    const std::vector<std::string> lines = analyse(dir, {SUITE, "-d", "8", "-o", "out.epd"}, 120);
    ASSERT_GT(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Analyzing " + SUITE + "...");
    // Every position comes back with a legal move; the solved count is
    // worked out again from the file, whose c0 lists give each best move 10.
    const std::vector<std::string> input = read_lines(SUITE), output = read_lines(dir + "/out.epd");
    ASSERT_EQ(input.size(), 40u);
    ASSERT_EQ(output.size(), input.size());
    int solved = 0;
    for (size_t i = 0; i < input.size(); ++i) {
        EpdLine epd;
        parse_epd_line(input[i].c_str(), epd);
        std::vector<std::string> f;
        ASSERT_TRUE(fits(output[i], epd.position + " bm *; ce #;", &f)) << output[i];
        Board board(epd.position.c_str());
        EXPECT_TRUE(f[0].size() == 4 && find_move(board.pos, f[0]) != NO_MOVE) << output[i];
        Move bm = NO_MOVE;
        solved += parse_move(board.pos, epd.bm.c_str(), bm) == 1 && coord(board.pos, bm) == f[0];
    }
    EXPECT_EQ(lines[1], std::to_string(solved) + " / 40 correct best moves");
    std::vector<std::string> score;
    ASSERT_TRUE(fits(summary_value(lines, "score= "), "# / 400", &score));
    EXPECT_GE(std::stoi(score[0]), 10 * solved);
    EXPECT_EQ(summary_value(lines, "avg depth= "), "8.0");
    EXPECT_EQ(lines.back(), "");
}

TEST(EpdAnalysis, JudgesBestAvoidAndScoredMoves) {
    // Both positions have one winning move the engine finds at once: Qg6 and Qc4+.
    // 1: the two bm moves are blank-separated and so unreadable; c0 gives Qg6 5 of 8.
    // 2: bm is judged before am; c0 lists an unreadable move worth 10 and misses Qc4+;
    //    with gr the whole line comes back with the score.
    const std::string LINE2 = "5k2/6pp/p1qN4/1p1p4/3P4/2PKP2Q/PP3r2/3R4 b - - 0 1 bm Zz9, Qc4+; am Qc4+; "
                              "c0 \"Zz9=10, Qxd6=1\"; gr 0.0;";
    const std::string dir = make_temp_dir();
    std::ofstream(dir + "/two.epd") << "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Rd1 Qg6; "
                                       "c0 \"Nf7+=8, Qg6=5\"; id \"t1\";\n" + LINE2 + "\n";
    const std::vector<std::string> lines = analyse(dir, {"two.epd", "-d", "9", "-noise", "0"});
    EXPECT_EQ(summary_value(lines, "score= "), "5 / 18");
    EXPECT_TRUE(has_fit(lines, "1 / 2 correct best moves"));
    // Below noise 9999 each position is shown with its result in SAN.
    EXPECT_EQ(summary_value(lines, "pos= "), "1");
    EXPECT_TRUE(has_fit(lines, "move= Qg6, time= #.???, score= #, nodes= #, #K nps"));
    EXPECT_TRUE(has_fit(lines, "move= Qc4+, time= #.???, score= 999?, nodes= #, #K nps"));
    const std::vector<std::string> output = read_lines(dir + "/analysis.epd");
    ASSERT_EQ(output.size(), 2u);
    EXPECT_TRUE(output[0].starts_with("2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm g3g6; ce "));
    EXPECT_TRUE(output[1].starts_with(LINE2 + " sc 999")) << output[1];
}

TEST(EpdAnalysis, SkipsLinesThatAreNotPositionsAndEmptyOrMissingFiles) {
    const std::string MATE = "5k2/6pp/p1qN4/1p1p4/3P4/2PKP2Q/PP3r2/3R4 b - - bm Qc4+;";
    // A suite line padded to exactly the 511 characters a line may have, and a longer line
    // whose first 511 characters and whose rest would each read as a position.
    const std::string padded = MATE + " id \"" + std::string(511 - MATE.size() - 7, 'x') + "\";";
    ASSERT_EQ(padded.size(), 511u);
    const std::string too_long = MATE + " id \"" + std::string(511 - MATE.size() - 8, 'x') + "\"; " + MATE;
    const std::string dir = make_temp_dir();
    std::ofstream(dir + "/mixed.epd") << "# a comment\n; another\n " + MATE + "\nshort\n\n" +
                                             "this line holds no position; bm e4;\n" + too_long + "\n" + padded +
                                             "\n" + std::string(2000, 'K') + "\n" + MATE;   // no line end at the end
    EXPECT_TRUE(has_fit(analyse(dir, {"mixed.epd", "-d", "3"}), "2 / 2 correct best moves"));
    const std::vector<std::string> output = read_lines(dir + "/analysis.epd");
    ASSERT_EQ(output.size(), 2u);
    EXPECT_TRUE(output[0].starts_with("5k2/6pp/p1qN4/1p1p4/3P4/2PKP2Q/PP3r2/3R4 b - - bm c6c4; ce "));
    EXPECT_TRUE(analyse(dir, {"none.epd", "-d", "3"}).empty());
    // An empty suite: the summary with nothing divided by zero.
    std::ofstream(dir + "/empty.epd").flush();
    const std::vector<std::string> expected = {"Analyzing empty.epd...", "0 / 0 correct best moves",
                                               "total nodes= 0", "total time= 0.00 seconds", "avg depth= 0.0",
                                               "avg nodes= 0.0", "node_rate= 0", "avg bf= 0.00", "score= 0 / 0",
                                               ""};
    EXPECT_EQ(analyse(dir, {"empty.epd", "-d", "3"}), expected);
}

TEST(EpdAnalysis, FixedTimeAndQuitEndEachSearch) {
    const std::string dir = make_temp_dir();
    const std::vector<std::string> suite = read_lines(SUITE);
    std::ofstream(dir + "/two.epd") << suite[0] + "\n" + suite[1] + "\n";
    const double seconds = std::stod(summary_value(analyse(dir, {"two.epd", "-t", "0.3"}, 20), "total time= "));
    EXPECT_GE(seconds, 0.6);
    EXPECT_LT(seconds, 2.0);
    // "quit": the position being searched is the last one judged, with the summary.
    EngineSession e({"-use_hce", "-anepd", SUITE, "-d", "40", "-o", dir + "/out.epd"});
    ASSERT_NE(e.expect("Analyzing", 30), "");
    const auto sent = std::chrono::steady_clock::now();
    e.send("quit");
    EXPECT_NE(e.expect("score= ", 10), "");
    EXPECT_TRUE(has_fit(e.seen, "? / 1 correct best moves"));
    EXPECT_EQ(e.finish(10), 0);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(), 5.0);
}

TEST(EpdReader, FieldsAndOperationsAndBadLines) {
    const char* const KIWI = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
    const struct {
        const char* line;
        EpdLine expected;
    } CASES[] = {
        // A suite line: blanks inside quoted operands go too.
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - bm Qxf6; c0 \"Qxf6=10, e6=5\"; id "
         "\"kiwi 1\";\n",
         {KIWI, "Qxf6", "", "", "", "", "\"kiwi1\"", "\"Qxf6=10,e6=5\""}},
        // Move counters, repeated blanks, tabs and a CR-LF line end.
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R   w\tKQkq  -  0 12  ce -35; gr 0.5;\r\n",
         {KIWI, "", "", "-35", "", "0.5", "", ""}},
        // Blank-separated moves run together; commas keep them apart.
        {"8/8/8/8/8/8/8/K6k w - - bm Ka2 Kb1; am Ka2, Kb2;", {"8/8/8/8/8/8/8/K6k w - -", "Ka2Kb1", "Ka2,Kb2", "", "", "", "", ""}},
        // Unknown opcodes are skipped; the last operation needs no ";".
        {"8/8/8/8/8/8/8/K6k b - - hmvc 3; c1 \"x y\"; sc 17", {"8/8/8/8/8/8/8/K6k b - -", "", "", "", "17", "", "", ""}},
        // An empty operation ends the reading.
        {"8/8/8/8/8/8/8/K6k w - - bm Ka2; ; am Kb1;", {"8/8/8/8/8/8/8/K6k w - -", "Ka2", "", "", "", "", "", ""}},
        // Fewer than four fields: what there is.
        {"8/8/8/8/8/8/8/K6k w\n", {"8/8/8/8/8/8/8/K6k w", "", "", "", "", "", "", ""}},
    };
    auto fields = [](const EpdLine& e) { return std::vector{e.position, e.bm, e.am, e.ce, e.sc, e.gr, e.id, e.c0}; };
    for (const auto& c : CASES) {
        EpdLine got;
        got.bm = "left over";
        ASSERT_EQ(parse_epd_line(c.line, got), 0) << c.line;
        EXPECT_EQ(fields(got), fields(c.expected)) << c.line;
    }
    // Only a missing line fails.
    EpdLine got;
    EXPECT_EQ(parse_epd_line(nullptr, got), -1);
    EXPECT_EQ(parse_epd_line("no position here at all", got), 0);
    EXPECT_EQ(got.position, "no position here at");
}

} // namespace
} // namespace zelk::test
