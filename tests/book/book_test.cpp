// Polyglot books: published keys, the shipped book and the weighted choice,
// move conversion, bad books, the books in play through the binary; and book
// building: the human games through the binary, read back, and the keep
// rule, the move limit and bad PGN in-process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "book/book.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "helpers.h"
#include "net_file.h"
#include "run_engine.h"
#include "tools/make_book.h"

namespace zelk::test {
namespace {

const std::string SHIPPED_BOOK = std::string(ZELK_SHARED_DATA) + "/books/gnuchess-public-domain.bin";
const std::string HUMAN_GAMES = std::string(ZELK_SHARED_DATA) + "/suites/games-human.pgn";

void write_book(const std::string& path, const std::vector<BookEntry>& entries) {
    std::string text;
    for (const BookEntry& e : entries) {
        unsigned char bytes[BOOK_ENTRY_BYTES];
        book_entry_encode(e, bytes);
        text.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
    write_bytes(path, text);
}

std::vector<BookEntry> read_all(const std::string& path) {
    BookFile book(path.c_str());
    std::vector<BookEntry> entries(size_t(book.entries));
    for (int64_t i = 0; i < book.entries; ++i)
        book.read(i, entries[size_t(i)]);
    return entries;
}

// A probe with its "info string" line swallowed.
Move quiet_probe(Position& pos, const std::string& file) {
    testing::internal::CaptureStdout();
    Move m = book_probe(pos, file.c_str(), BookStyle{});
    testing::internal::GetCapturedStdout();
    return m;
}

// A Polyglot move: from, to and promotion piece.
uint16_t pg(const char* from, const char* to, int promotion = 0) {
    auto sq = [](const char* s) { return (s[0] - 'a') + 8 * (s[1] - '1'); };
    return uint16_t(promotion << 12 | sq(from) << 6 | sq(to));
}

// The start position's moves in the shipped book, heaviest first.
const std::vector<std::string> START_MOVES = {"e2e4", "d2d4", "g1f3", "c2c4", "g2g3", "b2b3", "f2f4",
                                              "b1c3", "b2b4", "e2e3", "d2d3", "g2g4", "a2a3"};

struct ShippedBook : testing::Test {
    void SetUp() override {
        if (!std::filesystem::exists(SHIPPED_BOOK))
            GTEST_SKIP() << "no " << SHIPPED_BOOK;
    }
};

TEST_F(ShippedBook, StartPositionListsItsThirteenMovesWithWeights) {
    BookFile book(SHIPPED_BOOK.c_str());
    EXPECT_EQ(book.entries, 180358);
    Board b;
    BookEntry entries[BOOK_KEY_ENTRIES];
    const int n = book_find(book, book_key(b.pos), entries);
    const int weights[] = {12135, 11257, 3745, 3294, 243, 38, 35, 16, 16, 7, 5, 4, 2};
    ASSERT_EQ(n, int(START_MOVES.size()));
    std::string listed;
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(entries[i].weight, weights[i]);
        EXPECT_EQ(coord(b.pos, book_move_to_engine(entries[i].move, b.pos)), START_MOVES[size_t(i)]);
        listed += START_MOVES[size_t(i)] + " ";
    }
    testing::internal::CaptureStdout();
    const Move m = book_probe(b.pos, SHIPPED_BOOK.c_str(), BookStyle{});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info string ( book moves are: " + listed + " )\n");
    EXPECT_TRUE(is_legal(b.pos, WHITE, m));
}

// Choices from the start position over many draws with a fixed seed.
std::map<std::string, int> count_choices(int variety, int draws) {
    Board b;
    BookFile book(SHIPPED_BOOK.c_str());
    BookEntry entries[BOOK_KEY_ENTRIES];
    const int n = book_find(book, book_key(b.pos), entries);
    BookWeights w;
    book_weigh(entries, n, variety, w);
    std::srand(12345);
    std::map<std::string, int> counts;
    for (int i = 0; i < draws; ++i) {
        const BookEntry& e = entries[book_choose(entries, n, w, book_random_draw())];
        ++counts[coord(b.pos, book_move_to_engine(e.move, b.pos))];
    }
    return counts;
}

TEST_F(ShippedBook, VarietySharpensBelowAndFlattensAbove25) {
    const int draws = 20000;
    auto sharp = count_choices(0, draws), plain = count_choices(25, draws), flat = count_choices(100, draws);
    // At 25 the shares follow the stored weights: e2e4 12135 / 30797 = 39.4%.
    EXPECT_NEAR(plain["e2e4"] / double(draws), 0.394, 0.015);
    // At 0 a quarter of the top weight is taken off: only e2e4, d2d4, g1f3, c2c4 remain
    // (adjusted 2955, 2670, 231, 84 of 5940).
    EXPECT_EQ(sharp.size(), 4u);
    EXPECT_NEAR(sharp["c2c4"] / double(draws), 84 / 5940.0, 0.005);
    // At 100 three quarters of the top weight is added to each: every move
    // plays, e2e4 falls to 6895 / 47411.
    EXPECT_EQ(flat.size(), 13u);
    EXPECT_NEAR(flat["a2a3"] / double(draws), 2955 / 47411.0, 0.01);
}

TEST(BookChoice, WeightZeroEntriesOnlyAsTheFallback) {
    auto choices = [](std::vector<uint16_t> weights) {
        std::vector<BookEntry> e;
        for (uint16_t w : weights)
            e.push_back(BookEntry{1, uint16_t(e.size() + 1), w, 0});
        BookWeights w;
        book_weigh(e.data(), int(e.size()), 25, w);
        std::vector<int> seen(e.size());
        for (uint32_t x = 0; x < 1000; ++x)
            ++seen[book_choose(e.data(), int(e.size()), w, x)];
        return seen;
    };
    EXPECT_EQ(choices({10, 0, 10}), (std::vector<int>{501, 0, 499}));
    // x = 0 gives threshold 0, which no entry is below: the first entry stands.
    EXPECT_EQ(choices({0, 10, 10}), (std::vector<int>{1, 500, 499}));
    EXPECT_EQ(choices({0, 0}), (std::vector<int>{1000, 0}));
    EXPECT_EQ(choices({3, 1}), (std::vector<int>{751, 249}));
}

// Every legal move (castling written king takes rook, the four promotions)
// goes to Polyglot and back, for both colours.
TEST(BookMoves, EngineToPolyglotRoundTrip) {
    for (const char* fen : {"r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1", "r3k2r/1P6/8/8/8/8/6p1/R3K2R b KQkq - 0 1"}) {
        Board b(fen);
        for (Move m : legal_moves(b.pos))
            EXPECT_EQ(book_move_to_engine(book_move_from_engine(m, b.pos), b.pos), m) << coord(b.pos, m);
    }
    Board b("r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1");
    EXPECT_EQ(book_move_from_engine(make_move_code(4, 6, FLAG_SHORT), b.pos), pg("e1", "h1"));
    // Books with the castling marker copied into the promotion field.
    EXPECT_EQ(book_move_to_engine(pg("e1", "h1", 4), b.pos), make_move_code(4, 6, FLAG_SHORT));
    EXPECT_EQ(book_move_to_engine(pg("e1", "a1", 1), b.pos), make_move_code(4, 2, FLAG_LONG));
    // A rook on e1 taking h1 is a rook move.
    Board rook("4k3/8/8/8/8/8/6K1/4R2n w - - 0 1");
    EXPECT_EQ(book_move_to_engine(pg("e1", "h1"), rook.pos), make_move_code(4, 7));
}

// No book, an empty one or an illegal book move give no move; a ragged tail
// is not read; of a run longer than 128 entries only the first 128 count.
TEST(BookFiles, BadAndOverlongBooks) {
    Board b;
    const uint64_t key = book_key(b.pos);
    const std::string dir = make_temp_dir();
    write_bytes(dir + "/empty.bin", "");
    write_book(dir + "/illegal.bin", {{key, pg("e2", "e5"), 1, 0}});
    for (const std::string& none : {std::string(), dir + "/missing.bin", dir, dir + "/empty.bin", dir + "/illegal.bin"})
        EXPECT_EQ(quiet_probe(b.pos, none), NO_MOVE) << none;
    write_book(dir + "/ragged.bin", {{key - 5, pg("a2", "a3"), 1, 0}, {key, pg("e2", "e4"), 1, 0}});
    // Then the first 9 bytes of the e4 entry again.
    std::ofstream(dir + "/ragged.bin", std::ios::app | std::ios::binary) << read_text(dir + "/ragged.bin").substr(16, 9);
    EXPECT_EQ(quiet_probe(b.pos, dir + "/ragged.bin"), make_move_code(12, 28));
    std::vector<BookEntry> entries;
    entries.push_back(BookEntry{key - 1, pg("a2", "a3"), 5, 0});
    for (int i = 0; i < 200; ++i)
        entries.push_back(BookEntry{key, uint16_t(i < 128 ? pg("e2", "e4") : pg("d2", "d4")), 100, 0});
    entries.push_back(BookEntry{key + 1, pg("a2", "a3"), 5, 0});
    write_book(dir + "/long.bin", entries);
    BookFile book((dir + "/long.bin").c_str());
    BookEntry found[BOOK_KEY_ENTRIES];
    ASSERT_EQ(book_find(book, key, found), 128);
    for (const BookEntry& e : found)
        EXPECT_EQ(e.move, pg("e2", "e4"));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(quiet_probe(b.pos, dir + "/long.bin"), make_move_code(12, 28));
}

// The published keys, the positions reached by the moves (en passant counts
// only when a pawn can take).
TEST(BookKey, PublishedKeys) {
    const std::pair<const char*, uint64_t> published[] = {
        {"", 0x463b96181691fc9cULL},
        {"e2e4", 0x823c9b50fd114196ULL},
        {"e2e4 d7d5", 0x0756b94461c50fb0ULL},
        {"e2e4 d7d5 e4e5 f7f5", 0x22a48b5a8e47ff78ULL},
        {"e2e4 d7d5 e4e5 f7f5 e1e2", 0x652a607ca3f242c1ULL},
        {"e2e4 d7d5 e4e5 f7f5 e1e2 e8f7", 0x00fdd303c946bdd9ULL},
        {"a2a4 b7b5 h2h4 b5b4 c2c4", 0x3c8123ea7b067637ULL},
        {"a2a4 b7b5 h2h4 b5b4 c2c4 b4c3 a1a3", 0x5c3f9b829b279560ULL},
        {"a2a4 b7b5 h2h4 b5b4 c2c4 b4c3 a1a2", 0x742ec75da0e25edcULL},
    };
    for (const auto& [moves, key] : published) {
        Board b;
        play(b.pos, moves);
        EXPECT_EQ(book_key(b.pos), key) << moves;
    }
}

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

// A book move is announced, shown as a depth-1 line and played without a
// search. Book off, past its depth, pondering or missing: a search; the
// second book answers when the first has nothing, below its own depth. A
// book move that would draw by repetition is not played.
TEST_F(ShippedBook, PlayWhenEachBookIsAsked) {
    const std::string go = "position startpos\ngo depth 2";
    const std::string second = "setoption name OwnBook2_File value " + SHIPPED_BOOK +
                                "\nsetoption name OwnBook2_Depth value 4\n";
    const std::string no_first = with_book("/nonexistent/book.bin") + second;
    // After Nf3 Nf6 Ng1 the small book says Ng8: the start position once more.
    Board b;
    play(b.pos, "g1f3 g8f6 f3g1");
    const std::string small = make_temp_dir() + "/small.bin";
    write_book(small, {{book_key(b.pos), pg("f6", "g8"), 100, 0}});
    const std::string shuffle = with_book(small) + "position startpos moves g1f3 g8f6 f3g1";
    const struct {
        std::string input;
        bool book;
    } cases[] = {
        {with_book(SHIPPED_BOOK) + "position startpos\ngo wtime 10000 btime 10000", true},
        {"setoption name OwnBook_File value " + SHIPPED_BOOK + "\n" + go, false},
        {with_book(SHIPPED_BOOK) + "setoption name OwnBook_Depth value 0\n" + go, false},
        {with_book(SHIPPED_BOOK) + "position startpos\ngo ponder depth 2\nstop", false},
        {no_first + "position startpos moves e2e4 e7e5 g1f3\ngo depth 2", true},
        {no_first + "position startpos moves e2e4 e7e5 g1f3 b8c6\ngo depth 2", false},   // ply 4 is not below 4
        {with_book(SHIPPED_BOOK) + second + "setoption name OwnBook_Depth value 0\n" + go, true},
        {shuffle + "\ngo depth 2", true},
        {shuffle + " f6g8 g1f3 g8f6 f3g1\ngo depth 2", false},   // the third time
    };
    for (const auto& c : cases) {
        const auto lines = answer(c.input);
        const std::string announced = line_starting(lines, "info string book move is ");
        EXPECT_EQ(!announced.empty(), c.book) << c.input;
        EXPECT_EQ(contains(lines, "info depth 2"), !c.book) << c.input;
        if (!c.book)
            continue;
        const std::string move = announced.substr(25);
        EXPECT_EQ(line_starting(lines, "info depth"), "info depth 1 score cp 0 nodes 0 time 0 pv " + move);
        EXPECT_EQ(lines.back(), "bestmove " + move);
        if (c.input.find("position startpos\n") != std::string::npos) {
            EXPECT_NE(std::find(START_MOVES.begin(), START_MOVES.end(), move), START_MOVES.end()) << move;
        }
    }
}

// The book built from the human games by the engine binary: the job's
// report, entries sorted by key and then weight, and 1.e4 first at the start.
TEST(HumanBook, WritesSortedEntriesAndTheCounts) {
    if (!std::filesystem::exists(HUMAN_GAMES))
        GTEST_SKIP() << "no " << HUMAN_GAMES;
    const std::string dir = make_temp_dir(), book = dir + "/tmp_book.bin";
    const EngineRun run = run_engine({"-use_hce", "-mkbook", HUMAN_GAMES}, "", dir);
    ASSERT_EQ(run.status, 0);
    for (const std::string& part : {" Creating file tmp_book.bin from games in " + HUMAN_GAMES + "\n",
                                   std::string("..\nwriting book file ...\nngames= 2234, nmoves= "), std::string("\ndone\n\n")})
        EXPECT_NE(run.output.find(part), std::string::npos) << part << "\n" << run.output;
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
        write_bytes(dir + "/games.pgn", pgn_text);
    const auto old_dir = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    testing::internal::CaptureStdout();
    make_book("games.pgn");
    Built b{{}, testing::internal::GetCapturedStdout(), std::filesystem::exists("tmp_book.bin")};
    b.entries = read_all("tmp_book.bin");
    std::filesystem::current_path(old_dir);
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
