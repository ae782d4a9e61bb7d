// The books in play, against the engine binary: the probe before a normal
// "go", the two books and their depths, ponder searches, the draw refusal,
// the console's "book" command and the "-book" switch.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "book/book.h"
#include "helpers.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

const std::string SHIPPED_BOOK = std::string(ZELK_SHARED_DATA) + "/books/gnuchess-public-domain.bin";
const std::vector<std::string> HCE = {"-use_hce"};
const std::vector<std::string> START_MOVES = {"e2e4", "d2d4", "g1f3", "c2c4", "g2g3", "b2b3", "f2f4",
                                              "b1c3", "b2b4", "e2e3", "d2d3", "g2g4", "a2a3"};

std::string with_book(const std::string& file) {
    return "setoption name OwnBook value true\nsetoption name OwnBook_File value " + file + "\n";
}

std::string line_starting(const EngineRun& run, const std::string& prefix) {
    for (const std::string& l : run.lines())
        if (l.starts_with(prefix))
            return l;
    return "";
}

bool mentions(const EngineRun& run, const std::string& text) { return run.output.find(text) != std::string::npos; }

// A one-position book: the position after `moves` from the start, one entry.
std::string small_book(const char* fen, const char* moves, uint16_t move) {
    Board b(fen);
    play(b.pos, moves);
    BookEntry e{book_key(b.pos), move, 100, 0};
    unsigned char bytes[BOOK_ENTRY_BYTES];
    book_entry_encode(e, bytes);
    const std::string path = make_temp_dir() + "/small.bin";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    return path;
}

constexpr uint16_t F6G8 = (45 << 6) | 62;

struct BookPlay : testing::Test {
    void SetUp() override {
        struct stat info;
        if (stat(SHIPPED_BOOK.c_str(), &info) != 0)
            GTEST_SKIP() << "no " << SHIPPED_BOOK;
    }
};

TEST_F(BookPlay, ANormalGoPlaysABookMoveWithoutSearching) {
    EngineRun run = run_engine(HCE, with_book(SHIPPED_BOOK) + "position startpos\ngo wtime 10000 btime 10000\nquit\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(line_starting(run, "info string ( book moves are:"),
              "info string ( book moves are: e2e4 d2d4 g1f3 c2c4 g2g3 b2b3 f2f4 b1c3 b2b4 e2e3 d2d3 g2g4 a2a3  )");
    const std::string announced = line_starting(run, "info string book move is ");
    ASSERT_FALSE(announced.empty()) << run.output;
    const std::string move = announced.substr(25);
    EXPECT_NE(std::find(START_MOVES.begin(), START_MOVES.end(), move), START_MOVES.end()) << move;
    EXPECT_EQ(line_starting(run, "info depth"), "info depth 1 score cp 0 nodes 0 time 0 pv " + move) << run.output;
    EXPECT_EQ(line_starting(run, "bestmove"), "bestmove " + move);
}

TEST_F(BookPlay, OffDeepPonderingOrMissingMeansASearch) {
    // Each conversation waits for the answer before it ends: a "quit" sent
    // with the "go" may arrive while the search still runs.
    const std::string go = "position startpos\ngo depth 2";
    for (const std::string& input : {
             "setoption name OwnBook_File value " + SHIPPED_BOOK + "\n" + go,                  // OwnBook off
             with_book(SHIPPED_BOOK) + "setoption name OwnBook_Depth value 0\n" + go,          // past its depth
             with_book(SHIPPED_BOOK) + "position startpos\ngo ponder depth 2\nstop",           // pondering
             with_book("/nonexistent/book.bin") + go,
         }) {
        EngineSession e(HCE);
        std::istringstream lines(input);
        for (std::string line; std::getline(lines, line);)
            e.send(line);
        EXPECT_FALSE(e.expect("bestmove ").empty()) << input;
        std::string seen;
        for (const std::string& l : e.seen)
            seen += l + "\n";
        EXPECT_EQ(seen.find("book move"), std::string::npos) << input << seen;
        EXPECT_NE(seen.find("info depth 2"), std::string::npos) << input << seen;
        e.finish();
    }
}

TEST_F(BookPlay, TheSecondBookAnswersWhenTheFirstHasNothing) {
    const std::string second = "setoption name OwnBook2_File value " + SHIPPED_BOOK +
                               "\nsetoption name OwnBook2_Depth value 4\n";
    const std::string empty_first = with_book("/nonexistent/book.bin") + second;
    EngineRun early = run_engine(HCE, empty_first + "position startpos moves e2e4 e7e5 g1f3\ngo depth 2\nquit\n");
    EXPECT_TRUE(mentions(early, "info string book move is ")) << early.output;
    // Ply 4 is not below OwnBook2_Depth 4.
    EngineRun late = run_engine(HCE, empty_first + "position startpos moves e2e4 e7e5 g1f3 b8c6\ngo depth 2\nquit\n");
    EXPECT_FALSE(mentions(late, "book move")) << late.output;
    // The second book is asked also when the first one's depth is past.
    EngineRun past = run_engine(HCE, with_book(SHIPPED_BOOK) + second +
                                         "setoption name OwnBook_Depth value 0\nposition startpos\ngo depth 2\nquit\n");
    EXPECT_TRUE(mentions(past, "info string book move is ")) << past.output;
}

TEST(BookRefusal, AMoveThatDrawsIsNotPlayed) {
    // After Nf3 Nf6 Ng1 the book says Ng8: the start position once more.
    const std::string book = small_book(START_FEN, "g1f3 g8f6 f3g1", F6G8);
    const std::string go = "\ngo depth 2\nquit\n";
    EngineRun twice = run_engine(HCE, with_book(book) + "position startpos moves g1f3 g8f6 f3g1" + go);
    EXPECT_EQ(line_starting(twice, "bestmove"), "bestmove f6g8") << twice.output;
    EXPECT_TRUE(mentions(twice, "info string book move is f6g8"));
    // The third time it would draw by repetition: the engine searches instead.
    EngineRun thrice =
        run_engine(HCE, with_book(book) + "position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1" + go);
    EXPECT_FALSE(mentions(thrice, "book move is")) << thrice.output;
    EXPECT_TRUE(mentions(thrice, "info depth 2")) << thrice.output;
}

TEST_F(BookPlay, ConsoleBookCommandAndBookMoves) {
    EngineRun run = run_engine({"-use_hce", "-c", "-book", SHIPPED_BOOK},
                               "book\nset noise 9999\nbook\nquit\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(mentions(run, "\n  e2e4  cnt= 12135, weight= 39.40% -> 39.42%\n")) << run.output;
    EXPECT_TRUE(mentions(run, "\n  a2a3  cnt=     2, weight=  0.01% ->  0.00%\n")) << run.output;
    // The choice, then the empty line after each of the two books.
    const size_t at = run.output.find("selecting ");
    ASSERT_NE(at, std::string::npos) << run.output;
    EXPECT_EQ(run.output.substr(at + 14, 3), "\n\n\n") << run.output;
    // Quiet: the listing goes, the empty lines stay.
    EXPECT_EQ(run.output.find("selecting ", at + 1), std::string::npos) << run.output;

    // With OwnBook on (from a configuration file) the console's move comes from the book.
    const std::string config = make_temp_dir() + "/book.cfg";
    std::ofstream(config) << "OwnBook=true\n";
    EngineRun played = run_engine({"-use_hce", "-c", "-book", SHIPPED_BOOK, "-cfg", config}, "mv\nquit\n");
    const std::string announced = line_starting(played, " book move is ");
    ASSERT_FALSE(announced.empty()) << played.output;
    EXPECT_NE(std::find(START_MOVES.begin(), START_MOVES.end(), announced.substr(14)), START_MOVES.end());
}

TEST_F(BookPlay, BookSwitchSetsTheFirstBook) {
    EngineRun run = run_engine({"-use_hce", "-book", SHIPPED_BOOK}, "uci\nquit\n");
    EXPECT_TRUE(mentions(run, "option name OwnBook_File type string default " + SHIPPED_BOOK + "\n")) << run.output;
    EXPECT_TRUE(mentions(run, "option name OwnBook type check default false\n")) << run.output;
}

} // namespace
} // namespace zelk::test
