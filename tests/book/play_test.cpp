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
const std::vector<std::string> START_MOVES = {"e2e4", "d2d4", "g1f3", "c2c4", "g2g3", "b2b3", "f2f4",
                                              "b1c3", "b2b4", "e2e3", "d2d3", "g2g4", "a2a3"};

std::string with_book(const std::string& file) {
    return "setoption name OwnBook value true\nsetoption name OwnBook_File value " + file + "\n";
}

// The engine's lines up to its answer to the "go" that ends `input`: the
// conversation waits for it, since a "quit" sent with the "go" may arrive
// while the search still runs.
std::vector<std::string> answer(const std::string& input) {
    EngineSession e({"-use_hce"});
    std::istringstream lines(input);
    for (std::string line; std::getline(lines, line);)
        e.send(line);
    const std::string best = e.expect("bestmove ");
    e.seen.push_back(best);
    EXPECT_NE(best, "") << input;
    return e.seen;
}

std::string line_starting(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& l : lines)
        if (l.starts_with(prefix))
            return l;
    return "";
}

struct BookPlay : testing::Test {
    void SetUp() override {
        struct stat info;
        if (stat(SHIPPED_BOOK.c_str(), &info) != 0)
            GTEST_SKIP() << "no " << SHIPPED_BOOK;
    }
};

TEST_F(BookPlay, ANormalGoPlaysABookMoveWithoutSearching) {
    const auto lines = answer(with_book(SHIPPED_BOOK) + "position startpos\ngo wtime 10000 btime 10000");
    const std::string announced = line_starting(lines, "info string book move is ");
    ASSERT_FALSE(announced.empty());
    const std::string move = announced.substr(25);
    EXPECT_NE(std::find(START_MOVES.begin(), START_MOVES.end(), move), START_MOVES.end()) << move;
    EXPECT_EQ(line_starting(lines, "info depth"), "info depth 1 score cp 0 nodes 0 time 0 pv " + move);
    EXPECT_EQ(lines.back(), "bestmove " + move);
}

// Book off, past its depth, pondering or missing: a search, no book move;
// the second book answers when the first has nothing, below its own depth.
TEST_F(BookPlay, WhenEachBookIsAsked) {
    const std::string go = "position startpos\ngo depth 2";
    const std::string second = "setoption name OwnBook2_File value " + SHIPPED_BOOK +
                                "\nsetoption name OwnBook2_Depth value 4\n";
    const std::string no_first = with_book("/nonexistent/book.bin") + second;
    const struct {
        std::string input;
        bool book;
    } cases[] = {
        {"setoption name OwnBook_File value " + SHIPPED_BOOK + "\n" + go, false},
        {with_book(SHIPPED_BOOK) + "setoption name OwnBook_Depth value 0\n" + go, false},
        {with_book(SHIPPED_BOOK) + "position startpos\ngo ponder depth 2\nstop", false},
        {with_book("/nonexistent/book.bin") + go, false},
        {no_first + "position startpos moves e2e4 e7e5 g1f3\ngo depth 2", true},
        {no_first + "position startpos moves e2e4 e7e5 g1f3 b8c6\ngo depth 2", false},   // ply 4 is not below 4
        {with_book(SHIPPED_BOOK) + second + "setoption name OwnBook_Depth value 0\n" + go, true},
    };
    for (const auto& c : cases) {
        const auto lines = answer(c.input);
        EXPECT_EQ(contains(lines, "book move is "), c.book) << c.input;
        EXPECT_EQ(contains(lines, "info depth 2"), !c.book) << c.input;
    }
}

TEST(BookRefusal, AMoveThatDrawsIsNotPlayed) {
    // After Nf3 Nf6 Ng1 the book says Ng8: the start position once more.
    Board b;
    play(b.pos, "g1f3 g8f6 f3g1");
    unsigned char bytes[BOOK_ENTRY_BYTES];
    book_entry_encode(BookEntry{book_key(b.pos), (45 << 6) | 62, 100, 0}, bytes);
    const std::string book = make_temp_dir() + "/small.bin";
    std::ofstream(book, std::ios::binary).write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    const auto twice = answer(with_book(book) + "position startpos moves g1f3 g8f6 f3g1\ngo depth 2");
    EXPECT_EQ(twice.back(), "bestmove f6g8");
    EXPECT_TRUE(contains(twice, "info string book move is f6g8"));
    // The third time it would draw by repetition: the engine searches instead.
    const auto thrice = answer(with_book(book) + "position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1\ngo depth 2");
    EXPECT_FALSE(contains(thrice, "book move is"));
    EXPECT_TRUE(contains(thrice, "info depth 2"));
}

// The "-book" switch names the first book; the console's "book" command lists
// it, and with OwnBook on (from a configuration file) "mv" plays from it.
TEST_F(BookPlay, ConsoleBookCommandAndBookMoves) {
    const std::string config = make_temp_dir() + "/book.cfg";
    std::ofstream(config) << "OwnBook=true\n";
    EngineRun run = run_engine({"-use_hce", "-c", "-book", SHIPPED_BOOK, "-cfg", config}, "book\nmv\nquit\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(has_line(run, "  e2e4  cnt= 12135, weight= 39.40% -> 39.42%")) << run.output;
    const std::string announced = line_starting(run.lines(), " book move is ");
    ASSERT_FALSE(announced.empty()) << run.output;
    EXPECT_NE(std::find(START_MOVES.begin(), START_MOVES.end(), announced.substr(14)), START_MOVES.end());
}

} // namespace
} // namespace zelk::test
