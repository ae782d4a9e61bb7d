// UCI and console transcripts run against the built engine: the "uci" reply,
// setoption lines, switches, console commands, configuration files and the
// log, and what interfaces and tournament managers send: a GUI's ponder
// sequences, "go infinite", bad limits, "position" text as it comes, long
// games and hash sizes the machine cannot give.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>

#include "helpers.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

using Clock = std::chrono::steady_clock;
const std::vector<std::string> HCE = {"-use_hce"};

// How many lines start with `prefix`.
int count_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
    return int(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
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
    EXPECT_EQ(count_prefix(run.lines(), "readyok"), 3) << "'@' separates commands";
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

// True when `text` is a legal move of `pos` in coordinate notation.
bool is_legal_text(Position& pos, const std::string& text) { return find_move(pos, text) != NO_MOVE; }

// One engine answering searches after "position" lines: the move, with the
// whole "bestmove" line in `last` and the lines before it in `seen`.
struct Answerer {
    EngineSession e{HCE};
    std::vector<std::string> seen;
    std::string last;
    std::string after(const std::vector<std::string>& commands, const char* go = "go depth 1") {
        for (const auto& c : commands)
            e.send(c);
        e.send(go);
        last = e.expect("bestmove", 20);
        seen.insert(seen.end(), e.seen.begin(), e.seen.end());
        e.seen.clear();
        return move_of(last);
    }
    ~Answerer() { EXPECT_EQ(e.quit(), 0); }
};

// ---- Pondering: the sequences a GUI sends -------------------------------

TEST(Pondering, MissStopAnswersOnceAndTheNextSearchFollows) {
    EngineSession e(HCE);
    e.send("position startpos moves e2e4 e7e5");
    e.send("go ponder wtime 100000 btime 100000");
    EXPECT_EQ(e.expect("bestmove", 0.5), "") << "no move while pondering";
    // The opponent played something else: "stop" must answer by itself, and
    // a second "stop" changes nothing.
    e.send("stop");
    const std::string stopped = e.expect("bestmove", 3);
    e.send("stop");
    Board board;
    play(board.pos, "e2e4 e7e5");
    EXPECT_TRUE(is_legal_text(board.pos, move_of(stopped))) << stopped;
    e.send("position startpos moves e2e4 e7e5 g1f3");
    e.send("go wtime 100000 btime 100000 depth 4");
    const std::string next = e.expect("bestmove", 20);
    play(board.pos, "g1f3");
    EXPECT_TRUE(is_legal_text(board.pos, move_of(next))) << next;
    e.send("isready");
    EXPECT_EQ(e.expect("readyok", 3), "readyok");
    EXPECT_EQ(count_prefix(e.seen, "bestmove"), 0) << "exactly one answer per search";
    EXPECT_EQ(e.quit(), 0);
}

TEST(Pondering, HitHandsOverTheClock) {
    EngineSession e(HCE);
    e.send("position startpos moves d2d4");
    e.send("go ponder wtime 2000 btime 2000 movestogo 10");
    EXPECT_EQ(e.expect("bestmove", 0.4), "");
    e.send("ponderhit");
    Board board;
    play(board.pos, "d2d4");
    EXPECT_TRUE(is_legal_text(board.pos, move_of(e.expect("bestmove", 3))));
    EXPECT_EQ(e.quit(), 0);
}

// A ponder search that ends by itself (a mate is found) holds its move;
// "stop" then, or "ponderhit", sends it once.
TEST(Pondering, SearchThatEndsByItselfWaitsForStopOrHit) {
    for (const char* release : {"stop", "ponderhit"}) {
        EngineSession e(HCE);
        e.send("position fen r5k1/5ppp/8/8/8/8/1Q6/1R4K1 w - -");
        e.send("go ponder wtime 100000 btime 100000");
        EXPECT_EQ(e.expect("bestmove", 0.5), "") << release;
        e.send(release);
        EXPECT_EQ(e.expect("bestmove", 3), "bestmove b2b8 ponder a8b8") << release;
        e.send("isready");
        EXPECT_EQ(e.expect("readyok", 3), "readyok");
        EXPECT_EQ(count_prefix(e.seen, "bestmove"), 0) << release;
        EXPECT_EQ(e.quit(), 0);
    }
}

// "quit" while pondering ends at once, without an answer.
TEST(Pondering, QuitWhilePondering) {
    EngineSession e(HCE);
    e.send("position startpos moves e2e4");
    e.send("go ponder wtime 100000 btime 100000");
    EXPECT_EQ(e.expect("bestmove", 0.3), "");
    const auto start = Clock::now();
    EXPECT_EQ(e.quit(), 0);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 2.0);
    EXPECT_EQ(count_prefix(e.seen, "bestmove"), 0);
}

// ---- "go infinite" ---------------------------------------------------------

TEST(Infinite, ResultWaitsForStopAfterMateOrFullDepth) {
    // Mate in two is found at once, and a bare king ending reaches the
    // deepest depth in half a second: neither may answer before "stop".
    EngineSession e(HCE);
    for (const char* fen : {"r5k1/5ppp/8/8/8/8/1Q6/1R4K1 w - -", "8/8/8/4k3/8/8/8/4K3 w - -"}) {
        e.send(std::string("position fen ") + fen);
        e.send("go infinite");
        EXPECT_EQ(e.expect("bestmove", fen[0] == 'r' ? 0.5 : 1.0), "") << fen;
        e.send("isready");
        EXPECT_EQ(e.expect("readyok", 3), "readyok") << "commands are read while the result waits";
        e.send("stop");
        EXPECT_NE(e.expect("bestmove", 3), "") << fen;
    }
    EXPECT_EQ(e.quit(), 0);
}

// ---- Bad "go" values ------------------------------------------------------

TEST(GoLimits, DepthAndNodesAreAtLeastOne) {
    EngineSession e(HCE);
    e.send("position startpos");
    for (const char* go : {"go depth 0", "go depth -5", "go depth", "go nodes 0", "go nodes -100", "go nodes"}) {
        e.send(go);
        const std::string answer = e.expect("bestmove", 10);
        Board board;
        EXPECT_TRUE(is_legal_text(board.pos, move_of(answer))) << go << ": " << answer;
        e.send("go infinite");   // a later search is not bound by these limits
        e.send("stop");
        EXPECT_NE(e.expect("bestmove", 3), "");
    }
    EXPECT_EQ(e.quit(), 0);
}

// ---- "position" text as interfaces send it ---------------------------------

TEST(PositionCommand, BlanksTabsAndMissingFields) {
    Answerer a;
    // A lone king on a1: only a king move is an answer (an empty board answers null).
    for (const char* line : {"position  fen  7k/8/8/8/8/8/8/K7 w - -", " position fen 7k/8/8/8/8/8/8/K7 w - -",
                             "position\tfen\t7k/8/8/8/8/8/8/K7\tw - -", "position fen 7k/8/8/8/8/8/8/K7 w - - moves",
                             "position fen 7k/8/8/8/8/8/8/K7  w  -  -  moves  a1b1  h8g8"}) {
        a.after({"position fen 7k/8/8/8/8/8/8/7K b - -"});
        const std::string move = a.after({line});
        const bool from_king = move.rfind("a1", 0) == 0 || move.rfind("b1", 0) == 0;
        EXPECT_TRUE(from_king) << "'" << line << "' answered " << move;
    }
    // No side field: White to move, whoever moved in the position before.
    EXPECT_EQ(a.after({"position fen 7k/8/8/8/8/8/8/K7 b - -", "position fen 7k/8/8/8/8/8/8/K7"}).substr(0, 2), "a1");
    // "position fen" with nothing after it keeps the position and says so.
    const std::string answer = a.after({"position startpos moves e2e4", "position fen"});
    EXPECT_TRUE(contains(a.seen, "info string position fen without a FEN: the position is unchanged"));
    Board board;
    play(board.pos, "e2e4");
    EXPECT_TRUE(is_legal_text(board.pos, answer)) << answer;
}

TEST(PositionCommand, UpperCasePromotionLetters) {
    // c8=Q or c8=R would mate; c8=N or c8=B leaves the king b8.
    Answerer a;
    const std::string fen = "position fen k7/2P5/1K6/8/8/8/8/8 w - - moves ";
    EXPECT_EQ(a.after({fen + "c7c8N"}), "a8b8");
    EXPECT_EQ(a.after({fen + "c7c8B"}), "a8b8");
    EXPECT_EQ(a.after({fen + "c7c8R"}), "null");
}

// ---- Long games -----------------------------------------------------------

// A legal game of `plies` plies: the knights shuffle, and a pawn step every
// 98 plies keeps the fifty-move count low.
std::string long_game(int plies, Board& board) {
    const char* pawn_steps[] = {"a2a3", "a7a6", "a3a4", "a6a5", "b2b3", "h7h6", "b3b4", "h6h5", "h2h3", "g7g6",
                                "h3h4", "g6g5", "c2c3", "f7f6", "c3c4", "f6f5", "d2d3", "e7e6", "d3d4", "e6e5",
                                "e2e3", "d7d6", "e3e4", "d6d5"};
    const char* shuffle[] = {"g1f3", "b8c6", "f3g1", "c6b8"};
    std::string moves;
    int step = 0, count = 0;
    auto add = [&](const char* m) {
        moves += std::string(" ") + m;
        play(board.pos, m);
        board.thread->search_ply = 1;
        if (board.thread->history_count > 600)
            board.thread->history_count = 0;   // this copy needs no history
        ++count;
    };
    while (count < plies) {
        for (int i = 0; i < 2 && count < plies; ++i)
            add(pawn_steps[step++ % 24]);
        for (int i = 0; i < 96 && count < plies; ++i)
            add(shuffle[i % 4]);
    }
    return moves;
}

TEST(LongGames, EveryPlyIsKeptAndTheRightSideMoves) {
    for (int plies : {829, 1175, 1176}) {
        Board board;
        const std::string moves = long_game(plies, board);
        ASSERT_LE(board.pos.halfmove, 100);
        // Twice, so that the second position command meets a full history.
        const std::string position = "position startpos moves" + moves;
        EngineSession e(HCE);
        for (const char* go : {"go depth 3", "go depth 4"}) {
            e.send(position);
            e.send(go);
            const std::string line = e.expect("bestmove", 20);
            EXPECT_TRUE(is_legal_text(board.pos, move_of(line))) << plies << ": '" << line << "'";
        }
        EXPECT_EQ(e.quit(), 0);
    }
}

// ---- Hash sizes ------------------------------------------------------------

uint64_t machine_megabytes() {
    return uint64_t(sysconf(_SC_PHYS_PAGES)) * uint64_t(sysconf(_SC_PAGESIZE)) >> 20;
}

TEST(HashSize, MoreThanTheMachineHasIsRefusedAndTheOldTableStays) {
    if (machine_megabytes() >= 32768 * 17 / 16)
        GTEST_SKIP() << "this machine could give 32768 MB";
    EngineRun run = run_engine(HCE,
                               "setoption name Hash value 16\nsetoption name Hash value 32768\nuci\n"
                               "isready\n");
    EXPECT_TRUE(has_line(run, "info string allocated 16 Mbytes for hash table")) << run.output;
    const std::string refused = "info string Hash of 32768 MB refused: the machine has ";
    EXPECT_NE(run.output.find(refused), std::string::npos) << run.output;
    EXPECT_TRUE(has_line(run, "info string Hash set to 16")) << "the reply names the size that holds\n" << run.output;
    EXPECT_TRUE(has_line(run, "option name Hash type spin default 16 min 0 max 32768")) << run.output;
    EXPECT_TRUE(has_line(run, "readyok"));
    EXPECT_EQ(run.status, 0);
    // At start-up the default size is taken instead.
    EngineRun start = run_engine({"-use_hce", "-hash", "40000"}, "isready\n");
    EXPECT_NE(start.output.find(refused), std::string::npos) << start.output;
    EXPECT_TRUE(has_line(start, "info string allocated 4 Mbytes for hash table")) << start.output;
    EXPECT_TRUE(has_line(start, "readyok"));
    EXPECT_EQ(start.status, 0);
}

// ---- Start-up and console ---------------------------------------------------

TEST(StartUp, DepthSwitchKeepsTheEloRange) {
    for (const char* depth : {"0", "-5", "3"}) {
        EngineRun run = run_engine({"-use_hce", "-d", depth}, "uci\n");
        std::string line;
        for (const auto& l : run.lines())
            if (l.rfind("option name UCI_Elo ", 0) == 0)
                line = l;
        const size_t at = line.find(" max ");
        ASSERT_NE(at, std::string::npos) << depth << "\n" << run.output;
        const int max = std::stoi(line.substr(at + 5));
        EXPECT_GE(max, 1500) << depth << ": " << line;
        EXPECT_LE(max, 4000) << depth << ": " << line;
    }
}

TEST(Console, EndOfInputEndsTheEngine) {
    EngineRun run = run_engine({"-use_hce", "-c"}, "e4\n", "", 5);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("1. move e4"), std::string::npos);
}

// ---- Search output -----------------------------------------------------------

TEST(MateScores, CountMovesForBothSides) {
    // After 1. Qb8+ Black is mated in one: 1... Rxb8 2. Rxb8#.
    Answerer a;
    a.after({"position fen r5k1/5ppp/8/8/8/8/1Q6/1R4K1 w - - moves b2b8"}, "go depth 4");
    EXPECT_EQ(a.last, "bestmove a8b8 ponder b1b8");
    EXPECT_TRUE(contains(a.seen, " score mate -1 "));
    EXPECT_FALSE(contains(a.seen, " score mate -2 "));
    // 1... Kb8 2. Kb6 and 1... Kd8 2. Kd6, then 3. Rh8#: mated in two.
    a.seen.clear();
    a.after({"position fen 2k5/8/2K5/8/8/8/8/7R b - -"}, "go depth 8");
    EXPECT_TRUE(contains(a.seen, " score mate -2 "));
    EXPECT_FALSE(contains(a.seen, " score mate -3 "));
}

} // namespace
} // namespace zelk::test
