// UCI and console transcripts of the built engine: the "uci" reply, switches,
// console commands, configuration files, the log, pondering, end of input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include "helpers.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

const std::vector<std::string> HCE = {"-use_hce"};

// How many lines start with `prefix`.
int count_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
    return int(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

// An overlong line, binary junk and a search under absurd limits leave the
// engine answering; '@' separates commands. (The options: options_test.)
TEST(UciTranscript, IdentifiesAndSurvivesBadInput) {
    std::string junk;
    for (int i = 0; i < 3000; ++i)
        junk += char((i * 7919 + 13) % 255 + 1);
    EngineRun run = run_engine(HCE, "uci\n" + std::string(10000, 'x') + "\n" + junk +
                                        "\nposition startpos moves e2\ngo wtime -5 btime 99999999999999999999 winc x "
                                        "nodes -3 depth 999 movestogo 99999999\nisready@isready\nisready\nquit\n");
    ASSERT_EQ(run.status, 0) << run.output;
    for (const char* line : {"id name Zelk 5.20", "id author Dovrin", "uciok"})
        EXPECT_TRUE(has_line(run, line)) << line;
    EXPECT_EQ(count_prefix(run.lines(), "readyok"), 3) << run.output;
}

// The final score and the answer: with no move to play UCI's null move
// (the input reader turns tabs into blanks); mate scores count moves for the
// side mated (values in plies: search/behaviour_test). After 1. Qb8+ Black
// is mated in one: 1... Rxb8 2. Rxb8#.
TEST(UciTranscript, FinalScoreAndAnswer) {
    std::string moves;
    for (int i = 0; i < 26; ++i)
        moves += " a1b1 h8g8 b1a1 g8h8";
    const struct {
        std::string position;
        const char *score, *answer;
    } cases[] = {
        {"position\tfen\t7k/8/8/8/8/8/8/K7\tw - - moves" + moves, "info depth 0 score cp 0", "bestmove 0000"},
        {"position fen 7k/6Q1/6K1/8/8/8/8/8 b - -", "info depth 0 score mate 0", "bestmove 0000"},
        {"position fen 7k/5Q2/6K1/8/8/8/8/8 b - -", "info depth 0 score cp 0", "bestmove 0000"},
        {"position fen r5k1/5ppp/8/8/8/8/1Q6/1R4K1 w - - moves b2b8", " score mate -1 ", "bestmove a8b8 ponder b1b8"},
    };
    for (const auto& c : cases) {
        const auto lines = run_engine(HCE, c.position + "\ngo depth 5\n").lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_NE(lines[lines.size() - 2].find(c.score), std::string::npos) << c.position << "\n" << lines[lines.size() - 2];
        EXPECT_EQ(lines.back(), c.answer) << c.position;
    }
}

// Each switch's status code, and a line it prints (exactly the output when
// `exact`): "" for none.
TEST(Switches, StatusCodesAndLimits) {
    const struct {
        std::vector<std::string> args;
        const char* input;
        int status;
        std::string line;
        bool exact = false;
    } rows[] = {
        {{"-d"}, "", 1, ""},
        {{"-cfg"}, "quit\n", 1, "", true},   // nothing is done before the check
        {{"-tune", "a", "b"}, "", 1, ""},
        {{"-tune", "a", "b", "c"}, "", 1, "Need to compile with 'make ttune'\n\n", true},
        {{"-scan_pgn", "x.pgn"}, "isready\n", 0, "readyok"},   // alone it selects no job
        // The hash table follows the depth and node limits.
        {{"-d", "10"}, "quit\n", 0, "info string allocated 8 Mbytes for hash table"},
        {{"-n", "100000"}, "quit\n", 0, "info string allocated 4 Mbytes for hash table"},
        {{"-hash", "-7"}, "quit\n", 0, "info string allocated 0 Mbytes for hash table"},
        {{"-threads", "0"}, "uci\n", 0, "option name Threads type spin default 1 min 1 max 160"},
        {{"-threads", "500"}, "uci\n", 0, "option name Threads type spin default 160 min 1 max 160"},
    };
    for (const auto& r : rows) {
        std::vector<std::string> args = r.args;
        args.insert(args.begin(), "-use_hce");
        const EngineRun run = run_engine(args, r.input);
        EXPECT_EQ(run.status, r.status) << r.args[0] << "\n" << run.output;
        EXPECT_TRUE(r.exact ? run.output == r.line : r.line.empty() || has_line(run, r.line))
            << r.args[0] << "\n" << run.output;
    }
    // A bad depth switch leaves the UCI_Elo range sane.
    for (const char* depth : {"0", "-5"}) {
        const std::string elo = line_starting(run_engine({"-use_hce", "-d", depth}, "uci\n").lines(), "option name UCI_Elo ");
        ASSERT_NE(elo, "") << depth;
        const int max = std::stoi(elo.substr(elo.find(" max ") + 5));
        EXPECT_TRUE(max >= 1500 && max <= 4000) << depth << ": " << elo;
    }
}

// Without "quit" the end of the input ends the engine cleanly; redo ("]")
// announces the move again.
TEST(ConsoleTranscript, PerftBoardAndMoves) {
    EngineRun run = run_engine({"-use_hce", "-c"}, "perft 3\ne4\nxyz\nc5\nundo\n]\n", "", 10);
    EXPECT_EQ(run.status, 0);
    for (const char* part : {"visited 8902 nodes in ", "1. move e4\n", "invalid: a1a1\n",
                             "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq c6 0 2\n", "1... move c7c5\n",
                             "  r n b q k b n r\n  o o o o o o o o\n"})
        EXPECT_NE(run.output.find(part), std::string::npos) << part << "\n" << run.output;
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
    for (const char* line : {"info string loading parameters from a.cfg", "info string Contempt set to 20",
                             "info string OwnBook set to 1", "info string Ponder set to 0",
                             "info string OwnBook_File set to 'my book.bin'", "info string SyzygyPath set to '/tb '",
                             "option name Contempt type spin default 20 min -150 max 150"})
        EXPECT_TRUE(has_line(run, line)) << line << "\n" << run.output;
    EXPECT_FALSE(has_line(run, "info string MultiPV set to 3")) << "a name must start in the first column";
    EXPECT_FALSE(has_line(run, "info string Selectivity set to 50")) << "nested files are not loaded";
    // Naming a file while idle loads it once.
    EngineRun set = run_engine(HCE, "setoption name ConfigFilePath value b.cfg\nquit\n", dir);
    EXPECT_EQ(count_prefix(set.lines(), "info string loading parameters from b.cfg"), 1) << set.output;
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

TEST(Pondering, MissStopAnswersOnceAndTheNextSearchFollows) {
    EngineSession e(HCE);
    Board board;
    // The answer `line` to "go" on the game so far with `moves` played is legal there.
    const auto legal_after = [&](const char* moves, const std::string& line) {
        play(board.pos, moves);
        EXPECT_NE(find_move(board.pos, move_of(line)), NO_MOVE) << line;
    };
    e.send("position startpos moves e2e4 e7e5");
    e.send("go ponder wtime 100000 btime 100000");
    EXPECT_EQ(e.expect("bestmove", 0.5), "") << "no move while pondering";
    // The search threads probe the tables: they are not swapped under them.
    e.send("setoption name SyzygyPath value /no/tables");
    EXPECT_EQ(e.expect("info string the tablebases", 3), "info string the tablebases are not reloaded during a search");
    // The opponent played something else: "stop" answers by itself, a second "stop" changes nothing.
    e.send("stop");
    legal_after("e2e4 e7e5", e.expect("bestmove", 3));
    e.send("stop");
    e.send("position startpos moves e2e4 e7e5 g1f3");
    e.send("go wtime 100000 btime 100000 depth 4");
    legal_after("g1f3", e.expect("bestmove", 20));
    // "ponderhit" hands over the clock: the search answers in its time.
    e.send("position startpos moves e2e4 e7e5 g1f3 b8c6");
    e.send("go ponder wtime 2000 btime 2000 movestogo 10");
    EXPECT_EQ(e.expect("bestmove", 0.4), "");
    e.send("ponderhit");
    legal_after("b8c6", e.expect("bestmove", 3));
    e.send("isready");
    EXPECT_EQ(e.expect("readyok", 3), "readyok");
    EXPECT_EQ(count_prefix(e.seen, "bestmove"), 0) << "exactly one answer per search";
    // "quit" while pondering stops the search and answers it before the engine exits.
    e.send("go ponder wtime 100000 btime 100000");
    EXPECT_EQ(e.expect("bestmove", 0.3), "");
    e.send("quit");
    EXPECT_NE(e.expect("bestmove", 3), "");
    EXPECT_EQ(e.finish(), 0);
    EXPECT_EQ(count_prefix(e.seen, "bestmove"), 0) << "one answer";
}

// A script pipes its commands and closes the input while the search runs: a
// bounded search goes on to its limit (its final info line shows at least
// `least` after `reached`), an infinite or ponder one is stopped; either is
// answered once, after its last info line, and the engine exits.
TEST(EndOfInput, SearchIsAnsweredBeforeTheEngineExits) {
    const struct {
        const char* go;
        const char* reached;   // null when stopped
        double least;
    } cases[] = {{"go depth 9", "info depth ", 9},  {"go nodes 30000", " nodes ", 28000},
                 {"go movetime 300", " time ", 150}, {"go wtime 600 btime 600", " time ", 0},
                 {"go infinite", nullptr, 0},        {"go ponder wtime 100000 btime 100000", nullptr, 0}};
    Board board;
    play(board.pos, "e2e4");
    for (const auto& c : cases) {
        const EngineRun run = run_engine(HCE, std::string("position startpos moves e2e4\n") + c.go + "\n");
        EXPECT_EQ(run.status, 0) << c.go;
        const auto lines = run.lines();
        ASSERT_GE(lines.size(), 2u) << c.go;
        ASSERT_EQ(count_prefix(lines, "bestmove"), 1) << c.go << "\n" << run.output;
        EXPECT_NE(find_move(board.pos, move_of(lines.back())), NO_MOVE) << c.go << ": " << lines.back();
        const std::string& last = lines[lines.size() - 2];
        if (!c.reached)
            continue;
        ASSERT_EQ(last.rfind("info depth ", 0), 0u) << c.go << ": " << last;
        const size_t at = last.find(c.reached);
        ASSERT_NE(at, std::string::npos) << c.go << ": " << last;
        EXPECT_GE(std::stod(last.substr(at + std::strlen(c.reached))), c.least) << last;
    }
}

uint64_t machine_megabytes() {
    return uint64_t(sysconf(_SC_PHYS_PAGES)) * uint64_t(sysconf(_SC_PAGESIZE)) >> 20;
}

TEST(HashSize, MoreThanTheMachineHasIsRefusedAndTheOldTableStays) {
    if (machine_megabytes() >= 32768 * 17 / 16)
        GTEST_SKIP() << "this machine could give 32768 MB";
    EngineRun run = run_engine(HCE,
                               "setoption name Hash value 16\nsetoption name Hash value 32768\nuci\n"
                               "isready\n");
    const std::string refused = "info string Hash of 32768 MB refused: the machine has ";
    EXPECT_NE(run.output.find(refused), std::string::npos) << run.output;
    // The reply names the size that holds.
    for (const char* line : {"info string allocated 16 Mbytes for hash table", "info string Hash set to 16",
                             "option name Hash type spin default 16 min 0 max 32768", "readyok"})
        EXPECT_TRUE(has_line(run, line)) << line << "\n" << run.output;
    // At start-up the default size is taken instead.
    EngineRun start = run_engine({"-use_hce", "-hash", "40000"}, "isready\n");
    EXPECT_NE(start.output.find(refused), std::string::npos) << start.output;
    EXPECT_TRUE(has_line(start, "info string allocated 4 Mbytes for hash table")) << start.output;
    EXPECT_EQ(start.status, 0);
}

} // namespace
} // namespace zelk::test
