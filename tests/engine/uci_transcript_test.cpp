// UCI and console transcripts run against the built engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "run_engine.h"

namespace zelk::test {
namespace {

const std::vector<std::string> HCE = {"-use_hce"};

int count_lines(const EngineRun& run, const std::string& line) {
    auto lines = run.lines();
    return int(std::count(lines.begin(), lines.end(), line));
}

// The option names in order; their bounds are checked in-process (options_test).
TEST(UciTranscript, IdentifiesWithEveryOptionInOrder) {
    EngineRun run = run_engine(HCE, "uci\nisready@isready\nisready\nquit\n");
    ASSERT_EQ(run.status, 0) << run.output;
    std::string names;
    for (const std::string& line : run.lines())
        if (line.starts_with("option name "))
            names += line.substr(12, line.find(" type ") - 12) + " ";
    EXPECT_EQ(names, "ConfigFilePath Hash Threads Clear_Hash NN_File Use_NN_eval OwnBook OwnBook_File OwnBook_Depth "
                     "OwnBook2_File OwnBook2_Depth OwnBook_Variety SyzygyPath SyzygyProbeDepth6 Log Ponder MultiPV "
                     "UCI_Chess960 MoveOverhead UCI_LimitStrength UCI_Elo Contempt Selectivity ");
    EXPECT_TRUE(has_line(run, "id name Zelk 5.20"));
    EXPECT_TRUE(has_line(run, "id author Dovrin"));
    EXPECT_TRUE(has_line(run, "uciok"));
    EXPECT_TRUE(contains(run.lines(), "/nn.bin")) << "the default network file";
    EXPECT_EQ(count_lines(run, "readyok"), 3) << "'@' separates commands";
}

// How "setoption" lines are read; each option's range is tested in-process.
TEST(UciTranscript, SetOptionLines) {
    EngineRun run = run_engine(HCE,
                               "setoption name Selectivity   value   150\n"
                               "setoption name OwnBook_File value my book.bin\n"
                               "setoption name\nsetoption\nsetoption value 3\n"
                               "setoption name NoSuchOption value 3\n"
                               "uci\nquit\n");
    EXPECT_EQ(run.status, 0);
    for (const char* line : {"info string Selectivity set to 150", "info string OwnBook_File set to 'my book.bin'",
                             "option name OwnBook_File type string default my book.bin"})
        EXPECT_TRUE(has_line(run, line)) << line << "\n" << run.output;
    EXPECT_EQ(run.output.find("NoSuchOption"), std::string::npos);
}

TEST(UciTranscript, FiftyMoveRootAnswersAtOnce) {
    std::string moves;
    for (int i = 0; i < 26; ++i)
        moves += " a1b1 h8g8 b1a1 g8h8";
    EngineRun run = run_engine(HCE, "position fen 7k/8/8/8/8/8/8/K7 w - - moves" + moves + "\ngo\nisready\nquit\n");
    EXPECT_TRUE(has_line(run, "bestmove null")) << run.output;
}

TEST(Switches, StatusCodes) {
    EXPECT_EQ(run_engine({"-use_hce", "-d"}, "").status, 1);
    EngineRun missing = run_engine({"-use_hce", "-cfg"}, "quit\n");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "") << "nothing is done before the check";
    EXPECT_EQ(run_engine({"-use_hce", "-tune", "a", "b"}, "").status, 1);
    EngineRun tune = run_engine({"-use_hce", "-tune", "a", "b", "c"}, "");
    EXPECT_EQ(tune.status, 1);
    EXPECT_EQ(tune.output, "Need to compile with 'make ttune'\n\n");
    EngineRun inert = run_engine({"-use_hce", "-bench2"}, "");
    EXPECT_EQ(inert.status, 0);
    EXPECT_TRUE(has_line(inert, "info string Hello from Zelk 5.20")) << inert.output;
    EXPECT_EQ(run_engine({"-use_hce", "-mkconfig"}, "").status, 0);
    // "-scan_pgn" alone selects no job: the engine starts normally.
    EXPECT_TRUE(has_line(run_engine({"-use_hce", "-scan_pgn", "x.pgn"}, "isready\n"), "readyok"));
}

TEST(Switches, HashFollowsTheLimits) {
    auto allocated = [](std::vector<std::string> args) {
        args.insert(args.begin(), "-use_hce");
        EngineRun run = run_engine(args, "quit\n");
        for (const auto& line : run.lines())
            if (line.rfind("info string allocated ", 0) == 0)
                return std::stoi(line.substr(22));
        return -1;
    };
    EXPECT_EQ(allocated({"-d", "5"}), 1);
    EXPECT_EQ(allocated({"-d", "10"}), 8);
    EXPECT_EQ(allocated({"-n", "100000"}), 4);
    EXPECT_EQ(allocated({"-hash", "-7"}), 0);
    EXPECT_EQ(allocated({"-hash", "16"}), 16);
    EngineRun threads = run_engine({"-use_hce", "-threads", "0"}, "uci\n");
    EXPECT_TRUE(has_line(threads, "option name Threads type spin default 1 min 1 max 160"));
    threads = run_engine({"-use_hce", "-threads", "500"}, "uci\n");
    EXPECT_TRUE(has_line(threads, "option name Threads type spin default 160 min 1 max 160"));
}

TEST(ConsoleTranscript, PerftBoardAndMoves) {
    EngineRun run = run_engine({"-use_hce", "-c"}, "perft 3\ne4\nxyz\nc5\nundo\n]\nquit\n");
    EXPECT_EQ(run.status, 0);
    const std::string out = run.output;
    EXPECT_NE(out.find("visited 8902 nodes in "), std::string::npos) << out;
    EXPECT_NE(out.find("1. move e4\n"), std::string::npos) << out;
    EXPECT_NE(out.find("invalid: a1a1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq c6 0 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("1... move c7c5\n"), std::string::npos) << "redo announces the move again\n" << out;
    EXPECT_NE(out.find("  r n b q k b n r\n  o o o o o o o o\n"), std::string::npos) << out;
}

TEST(ConsoleTranscript, SetCommands) {
    EngineRun run = run_engine({"-use_hce", "-c"},
                               "set level 40 5:30 2\nset target_nps 5000\nset NMP_depth 4\nset ss 0\nset ss 1\n"
                               "set nonsense 3\nquit\n");
    for (const char* line : {"set level to 40 moves in 330.00 seconds, inc 2.00", "target_nps set to 5000",
                             "NMP_depth set to 4", "selectivity set to OFF", "set default personality"})
        EXPECT_TRUE(has_line(run, line)) << line << "\n" << run.output;
}

TEST(ConsoleTranscript, EditLoadSave) {
    const std::string dir = make_temp_dir();
    std::ofstream(dir + "/game.pgn") << "[Event \"A\"]\n[White \"x\"]\n\n1. e4 {a {nested} comment} e5 2. Nf3 Nc6 1-0\n\n"
                                     << "[Event \"B\"]\n\n1. d4 d5 2. Bogus 1-0\n";
    EngineRun run = run_engine({"-use_hce", "-c"}, "load game.pgn\nsave\nload game.pgn \"B\"\nquit\n", dir);
    EXPECT_NE(run.output.find("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 4"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("can't parse move 'Bogus'"), std::string::npos) << run.output;
    EXPECT_EQ(read_text(dir + "/tmp.pgn"), "[Event \"Unknown\"]\ne4 e5 Nf3 Nc6 \n\n");

    EngineRun edit = run_engine({"-use_hce", "-c"}, "edit\n#\nw Ke1 Rh1 Pe2 Zz9\nb ke8 ra8\n.\nquit\n", dir);
    EXPECT_NE(edit.output.find("r3k3/8/8/8/8/8/4P3/4K2R b Kq - 0 0"), std::string::npos) << edit.output;
}

// Hostile input never crashes the engine, and it keeps answering.
TEST(BadInput, EngineSurvives) {
    std::string junk;
    for (int i = 0; i < 3000; ++i)
        junk += char((i * 7919 + 13) % 255 + 1);
    std::string input = std::string(10000, 'x') + "\n" + junk + "\n" +
                        "position fen rnbqkbnrrrrrrrrrrrr/pppppppp/99999999/8/8/8/PPPPPPPP/RNBQKBNR w KQkqKQkq e9\n"
                        "position fen\n"
                        "position startpos moves e2e4 z9z9 e7e5\n"
                        "position startpos moves e2\n"
                        "position startpos moves e1e8 a7a5\n"
                        "position fen 8/8/8/8/8/8/8/8 w - - moves e2e4\n"
                        "go wtime -5 btime 99999999999999999999 winc x nodes -3 depth 999 movestogo 99999999\n"
                        "setoption name Hash value -5\n"
                        "setoption name ConfigFilePath value /nonexistent/file.cfg\n"
                        "setoption name Log value true\n"
                        "isready\nquit\n";
    const std::string dir = make_temp_dir();
    EngineRun run = run_engine(HCE, input, dir);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(has_line(run, "readyok")) << run.output;
}

TEST(ConfigFile, ReadsLinesAndStopsNesting) {
    const std::string dir = make_temp_dir();
    // Windows line ends and tabs around "=" are read; blanks before a comment stay.
    std::ofstream(dir + "/a.cfg") << "# engine settings\n"
                                  << "Contempt\t= 20 # a comment\r\n"
                                  << "  MultiPV = 3\n"
                                  << "OwnBook =\ttrue\r\n"
                                  << "OwnBook_File = my book.bin\r\n"
                                  << "SyzygyPath=/tb # comment\r\n"
                                  << "ConfigFilePath = a.cfg\n"
                                  << "ConfigFilePath = b.cfg\n"
                                  << std::string(400, 'y') << "\n"
                                  << "Ponder=false\n";
    std::ofstream(dir + "/b.cfg") << "ConfigFilePath=a.cfg\nSelectivity=50\n";
    EngineRun run = run_engine({"-use_hce", "-cfg", "a.cfg"}, "uci\nquit\n", dir);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(has_line(run, "info string loading parameters from a.cfg")) << run.output;
    EXPECT_TRUE(has_line(run, "info string Contempt set to 20")) << run.output;
    EXPECT_TRUE(has_line(run, "info string OwnBook set to 1")) << run.output;
    EXPECT_TRUE(has_line(run, "info string Ponder set to 0")) << run.output;
    EXPECT_TRUE(has_line(run, "info string OwnBook_File set to 'my book.bin'")) << run.output;
    EXPECT_TRUE(has_line(run, "info string SyzygyPath set to '/tb '")) << run.output;
    EXPECT_FALSE(has_line(run, "info string MultiPV set to 3")) << "a name must start in the first column";
    EXPECT_FALSE(has_line(run, "info string Selectivity set to 50")) << "nested files are not loaded";
    EXPECT_TRUE(has_line(run, "option name Contempt type spin default 20 min -150 max 150")) << run.output;
    EXPECT_TRUE(has_line(run, "option name OwnBook type check default true")) << run.output;
    // Naming a file while idle loads it once.
    EngineRun set = run_engine(HCE, "setoption name ConfigFilePath value b.cfg\nquit\n", dir);
    EXPECT_EQ(count_lines(set, "info string loading parameters from b.cfg"), 1) << set.output;
    EXPECT_TRUE(has_line(set, "info string Selectivity set to 50")) << set.output;
}

TEST(Log, CommandsAndLinesReachTheLogOnce) {
    const std::string dir = make_temp_dir();
    EngineRun run = run_engine(HCE,
                               "setoption name Log value true\nisready\nsetoption name Log value false\nisready\n"
                               "setoption name Log value true\nsetoption name Log value true\nisready\nquit\n",
                               dir);
    EXPECT_EQ(run.status, 0);
    // A line reaches the log only while Log is on and the file is open: the
    // first echo comes before the file exists, the second while Log is off.
    EXPECT_EQ(read_text(dir + "/zelk.log"),
              "CMD: isready\nreadyok\nCMD: setoption name Log value false\ninfo string Log set to 0\n"
              "CMD: setoption name Log value true\ninfo string Log set to 1\n"
              "CMD: isready\nreadyok\nCMD: quit\n");
}

} // namespace
} // namespace zelk::test
