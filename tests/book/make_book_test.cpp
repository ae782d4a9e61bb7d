// Book building: the human games through the binary, read back; the keep
// rule, the move limit and bad PGN in-process.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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

// The book built once from the human games by the engine binary.
struct HumanBook : testing::Test {
    static std::string dir, output;
    static void SetUpTestSuite() {
        if (!file_exists(HUMAN_GAMES))
            return;
        dir = make_temp_dir();
        EngineRun run = run_engine({"-use_hce", "-mkbook", HUMAN_GAMES}, "", dir);
        ASSERT_EQ(run.status, 0);
        output = run.output;
    }
    void SetUp() override {
        if (dir.empty())
            GTEST_SKIP() << "no " << HUMAN_GAMES;
    }
    std::string book() const { return dir + "/tmp_book.bin"; }
};
std::string HumanBook::dir, HumanBook::output;

TEST_F(HumanBook, WritesSortedEntriesAndTheCounts) {
    EXPECT_NE(output.find(" Creating file tmp_book.bin from games in " + HUMAN_GAMES + "\n"), std::string::npos)
        << output;
    EXPECT_NE(output.find("..\nwriting book file ...\nngames= 2234, nmoves= "), std::string::npos) << output;
    EXPECT_NE(output.find("\ndone\n\n"), std::string::npos) << output;

    struct stat info;
    ASSERT_EQ(stat(book().c_str(), &info), 0);
    EXPECT_EQ(info.st_size % BOOK_ENTRY_BYTES, 0);
    const std::vector<BookEntry> entries = read_all(book());
    ASSERT_GT(entries.size(), 100u);
    for (size_t i = 1; i < entries.size(); ++i) {
        const BookEntry &a = entries[i - 1], &b = entries[i];
        ASSERT_TRUE(a.key < b.key || (a.key == b.key && a.weight >= b.weight)) << i;
    }
    for (const BookEntry& e : entries) {
        EXPECT_EQ(e.learn, 0u);
        EXPECT_GE(e.weight, 10);
    }
    // The start position: 1.e4 leads (4 wins - 2 losses + draws over the games).
    Board start;
    BookFile file(book().c_str());
    BookEntry found[BOOK_KEY_ENTRIES];
    const int n = book_find(file, book_key(start.pos), found);
    ASSERT_GE(n, 2);
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

uint64_t key_after(const char* moves) {
    Board b;
    play(b.pos, moves);
    return book_key(b.pos);
}

TEST(MakeBook, AMoveNeedsThreeWinsAndAScoreAboveNine) {
    Built three = build(games(3, "1-0", "1. e4 e5 1-0"));
    ASSERT_EQ(three.entries.size(), 1u);   // e5 lost three times
    EXPECT_EQ(three.entries[0].key, key_after(""));
    EXPECT_EQ(three.entries[0].move, 0x031C);
    EXPECT_EQ(three.entries[0].weight, 12);
    EXPECT_NE(three.output.find("ngames= 3, nmoves= 2\n"), std::string::npos) << three.output;

    EXPECT_TRUE(build(games(2, "1-0", "1. e4 e5 1-0")).entries.empty());
    // Three wins, one loss and one draw score 11.
    Built mixed = build(games(3, "1-0", "1. e4 1-0") + games(1, "0-1", "1. e4 0-1") + games(1, "1/2-1/2", "1. e4 1/2-1/2"));
    ASSERT_EQ(mixed.entries.size(), 1u);
    EXPECT_EQ(mixed.entries[0].weight, 11);
    // Black's wins count for black's moves; an undecided game counts nothing.
    Built black = build(games(3, "0-1", "1. d4 d5 0-1") + games(5, "*", "1. d4 d5 *"));
    ASSERT_EQ(black.entries.size(), 1u);
    EXPECT_EQ(black.entries[0].key, key_after("d2d4"));
}

TEST(MakeBook, CastlingIsWrittenKingTakesRookAndWeightsAreSorted) {
    const std::string line = "1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. O-O 1-0";
    Built b = build(games(5, "1-0", line) + games(3, "1-0", "1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. c3 1-0"));
    const uint64_t key = key_after("e2e4 e7e5 g1f3 b8c6 f1c4 f8c5");
    std::vector<BookEntry> here;
    for (const BookEntry& e : b.entries)
        if (e.key == key)
            here.push_back(e);
    ASSERT_EQ(here.size(), 2u);
    EXPECT_EQ(here[0].move, 0x0107);   // e1h1, promotion field 0
    EXPECT_EQ(here[0].weight, 20);
    EXPECT_EQ(here[1].weight, 12);
}

TEST(MakeBook, OnlyTheFirst36MovesOfTheMainLineCount) {
    std::string shuffle;
    for (int i = 0; i < 9; ++i)
        shuffle += "Nf3 Nf6\nNg1 Ng8\n";
    // 36 moves end back at the start: a line that begins now is not read...
    Built late = build(games(3, "1-0", shuffle + "e4 1-0"));
    // ...but a line that began before the limit is read to its end.
    Built same_line = build(games(3, "1-0", shuffle.substr(0, shuffle.size() - 1) + " e4 1-0"));
    auto has_e4 = [](const Built& b) {
        for (const BookEntry& e : b.entries)
            if (e.key == key_after("") && e.move == 0x031C)
                return true;
        return false;
    };
    EXPECT_FALSE(has_e4(late));
    EXPECT_TRUE(has_e4(same_line));
    // Moves in comments and variations are not counted.
    Built side = build(games(3, "1-0", "1. e4 {1. d4 d5} (1. c4 c5 (1. b3)) e5 {2. f4} 2. Nf3 1-0"));
    for (const BookEntry& e : side.entries)
        EXPECT_TRUE(e.key == key_after("") ? e.move == 0x031C : e.key == key_after("e2e4 e7e5"));
    EXPECT_EQ(side.entries.size(), 2u);
}

TEST(MakeBook, BadInputNeverFails) {
    // An empty file gives an empty book; no file: nothing printed, no book.
    EXPECT_TRUE(build("").written);
    const Built none = build("", false);
    EXPECT_EQ(none.output, "");
    EXPECT_FALSE(none.written);

    const std::string binary = noise_bytes(20000, 7);
    const std::string inputs[] = {
        games(3, "1-0", "1. e4 {never closed e5 2. Nf3") + games(3, "1-0", "1. d4 d5 1-0"),
        games(3, "1-0", "1. e4 ((((e5) c5 (d5 (Nf6)))) 2. Nf3 ) ) ) e5 1-0"),
        binary + games(3, "1-0", "1. e4 e5 1-0") + std::string(5000, 'x'),
    };
    for (const std::string& text : inputs) {
        Built b = build(text);
        EXPECT_TRUE(b.written);
        EXPECT_NE(b.output.find("done\n"), std::string::npos);
        for (const BookEntry& e : b.entries)
            EXPECT_GE(e.weight, 10);
    }
    // The games after an unterminated comment are still read.
    Built after = build(inputs[0]);
    bool d4 = false;
    for (const BookEntry& e : after.entries)
        d4 |= e.key == key_after("") && e.move == 0x02DB;
    EXPECT_TRUE(d4);
}

} // namespace
} // namespace zelk::test
