// Book building: the human games through the binary, read back; the keep
// rule, the move limit and bad PGN in-process.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "book/book.h"
#include "helpers.h"
#include "run_engine.h"
#include "tools/make_book.h"

namespace zelk::test {
namespace {

const std::string HUMAN_GAMES = std::string(ZELK_SHARED_DATA) + "/suites/games-human.pgn";

bool file_exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::vector<BookEntry> read_all(const std::string& path) {
    BookFile book(path.c_str());
    std::vector<BookEntry> entries(size_t(book.entries));
    for (int64_t i = 0; i < book.entries; ++i)
        book.read(i, entries[size_t(i)]);
    return entries;
}

// The book built from the human games by the engine binary: the job's
// report, entries sorted by key and then weight, and 1.e4 first at the start.
TEST(HumanBook, WritesSortedEntriesAndTheCounts) {
    if (!file_exists(HUMAN_GAMES))
        GTEST_SKIP() << "no " << HUMAN_GAMES;
    const std::string dir = make_temp_dir(), book = dir + "/tmp_book.bin";
    const EngineRun run = run_engine({"-use_hce", "-mkbook", HUMAN_GAMES}, "", dir);
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.output.find(" Creating file tmp_book.bin from games in " + HUMAN_GAMES + "\n"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("..\nwriting book file ...\nngames= 2234, nmoves= "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("\ndone\n\n"), std::string::npos) << run.output;

    EXPECT_EQ(read_text(book).size() % BOOK_ENTRY_BYTES, 0u);
    const std::vector<BookEntry> entries = read_all(book);
    ASSERT_GT(entries.size(), 100u);
    for (size_t i = 1; i < entries.size(); ++i) {
        const BookEntry &a = entries[i - 1], &b = entries[i];
        ASSERT_TRUE(a.key < b.key || (a.key == b.key && a.weight >= b.weight)) << i;
    }
    for (const BookEntry& e : entries) {
        EXPECT_EQ(e.learn, 0u);
        EXPECT_GE(e.weight, 10);
    }
    Board start;
    BookFile file(book.c_str());
    BookEntry found[BOOK_KEY_ENTRIES];
    ASSERT_GE(book_find(file, book_key(start.pos), found), 2);
    EXPECT_EQ(book_move_to_engine(found[0].move, start.pos), make_move_code(12, 28));
}

// Builds a book in-process from PGN text in a fresh directory; returns the
// entries and what the job printed.
struct Built {
    std::vector<BookEntry> entries;
    std::string output;
    bool written;
};

Built build(const std::string& pgn_text, bool write_file = true) {
    const std::string dir = make_temp_dir();
    if (write_file)
        std::ofstream(dir + "/games.pgn", std::ios::binary) << pgn_text;
    char old_dir[4096];
    EXPECT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
    EXPECT_EQ(chdir(dir.c_str()), 0);
    testing::internal::CaptureStdout();
    make_book("games.pgn");
    Built b{{}, testing::internal::GetCapturedStdout(), file_exists("tmp_book.bin")};
    b.entries = read_all("tmp_book.bin");
    EXPECT_EQ(chdir(old_dir), 0);
    return b;
}

std::string games(int count, const std::string& result, const std::string& movetext) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "[Event \"t\"]\n[Result \"" + result + "\"]\n\n" + movetext + "\n\n";
    return text;
}

// The weight of the entry for `move` after `before` (coordinate moves), 0
// when the book has none.
int weight_of(const std::vector<BookEntry>& entries, const char* before, const char* move) {
    Board b;
    play(b.pos, before);
    const uint16_t m = book_move_from_engine(find_move(b.pos, move), b.pos);
    for (const BookEntry& e : entries)
        if (e.key == book_key(b.pos) && e.move == m)
            return e.weight;
    return 0;
}

// A move is kept with three wins and a score (4 a win, -2 a loss, 1 a draw)
// above nine; castling is written king takes rook; comments and variations
// count nothing.
TEST(MakeBook, WhichMovesAreKeptAndTheirWeights) {
    const std::string castles = "1. g3 g6 2. Bg2 Bg7 3. Nh3 Nh6 4. ";
    const Built b = build(games(3, "1-0", "1. e4 e5 1-0") + games(2, "1-0", "1. c4 c5 1-0") +
                          games(3, "1-0", "1. Nf3 1-0") + games(1, "0-1", "1. Nf3 0-1") +
                          games(1, "1/2-1/2", "1. Nf3 1/2-1/2") + games(3, "0-1", "1. d4 d5 0-1") +
                          games(5, "*", "1. d4 d5 *") + games(5, "1-0", castles + "O-O 1-0") +
                          games(3, "1-0", castles + "c3 1-0") +
                          games(3, "1-0", "1. h3 {1. h4 h5} (1. a4 a5 (1. b4)) h6 {2. f4} 2. Nc3 1-0"));
    const struct {
        const char *before, *move;
        int weight;
    } expected[] = {
        {"", "e2e4", 12},
        {"e2e4", "e7e5", 0},                 // lost three times
        {"", "c2c4", 0},                     // two wins
        {"", "g1f3", 11},                    // three wins, a loss and a draw
        {"d2d4", "d7d5", 12},                // undecided games count nothing
        {"", "d2d4", 0},
        {"", "g2g3", 32},
        {"g2g3 g7g6", "f1g2", 32},
        {"g2g3 g7g6 f1g2 f8g7", "g1h3", 32},
        {"g2g3 g7g6 f1g2 f8g7 g1h3 g8h6", "e1g1", 20},
        {"g2g3 g7g6 f1g2 f8g7 g1h3 g8h6", "c2c3", 12},
        {"", "h2h3", 12},
        {"h2h3 h7h6", "b1c3", 12},
        {"", "a2a4", 0},                     // in a variation
    };
    size_t kept = 0;
    for (const auto& e : expected) {
        EXPECT_EQ(weight_of(b.entries, e.before, e.move), e.weight) << e.before << " " << e.move;
        kept += e.weight > 0;
    }
    EXPECT_EQ(b.entries.size(), kept);
    EXPECT_TRUE(std::any_of(b.entries.begin(), b.entries.end(), [](const BookEntry& e) { return e.move == 0x0107; }));
    EXPECT_NE(b.output.find("ngames= 29, nmoves= 18\n"), std::string::npos) << b.output;
}

TEST(MakeBook, OnlyTheFirst36MovesOfTheMainLineCount) {
    std::string shuffle;
    for (int i = 0; i < 9; ++i)
        shuffle += "Nf3 Nf6\nNg1 Ng8\n";
    // 36 moves end back at the start: a line that begins now is not read...
    EXPECT_EQ(weight_of(build(games(3, "1-0", shuffle + "e4 1-0")).entries, "", "e2e4"), 0);
    // ...but a line that began before the limit is read to its end.
    const Built same_line = build(games(3, "1-0", shuffle.substr(0, shuffle.size() - 1) + " e4 1-0"));
    EXPECT_GT(weight_of(same_line.entries, "", "e2e4"), 0);
}

// An empty file gives an empty book; no file: nothing printed, no book. The
// games after an unterminated comment are still read.
TEST(MakeBook, BadInputNeverFails) {
    EXPECT_TRUE(build("").written);
    const Built none = build("", false);
    EXPECT_EQ(none.output, "");
    EXPECT_FALSE(none.written);
    const Built after = build(games(3, "1-0", "1. e4 {never closed e5 2. Nf3") + games(3, "1-0", "1. d4 d5 1-0"));
    EXPECT_NE(after.output.find("done\n"), std::string::npos);
    EXPECT_EQ(weight_of(after.entries, "", "d2d4"), 12);
}

} // namespace
} // namespace zelk::test
