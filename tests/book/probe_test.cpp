// Polyglot books: published keys, the shipped book and the weighted choice,
// move conversion, bad books, and the books in play through the binary.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "book/book.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "helpers.h"
#include "net_file.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

const std::string SHIPPED_BOOK = std::string(ZELK_SHARED_DATA) + "/books/gnuchess-public-domain.bin";

std::string book_bytes(const std::vector<BookEntry>& entries) {
    std::string text;
    for (const BookEntry& e : entries) {
        unsigned char bytes[BOOK_ENTRY_BYTES];
        book_entry_encode(e, bytes);
        text.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
    return text;
}

void write_book(const std::string& path, const std::vector<BookEntry>& entries) {
    write_bytes(path, book_bytes(entries));
}

// A probe with its "info string" line swallowed.
Move quiet_probe(Position& pos, const std::string& file) {
    testing::internal::CaptureStdout();
    Move m = book_probe(pos, file.c_str(), BookStyle{});
    testing::internal::GetCapturedStdout();
    return m;
}

// The start position's moves in the shipped book, heaviest first.
const std::vector<std::string> START_MOVES = {"e2e4", "d2d4", "g1f3", "c2c4", "g2g3", "b2b3", "f2f4",
                                              "b1c3", "b2b4", "e2e3", "d2d3", "g2g4", "a2a3"};

struct ShippedBook : testing::Test {
    void SetUp() override {
        struct stat info;
        if (stat(SHIPPED_BOOK.c_str(), &info) != 0)
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

uint16_t pg(const char* from, const char* to, int promotion = 0) {
    auto sq = [](const char* s) { return (s[0] - 'a') + 8 * (s[1] - '1'); };
    return uint16_t(promotion << 12 | sq(from) << 6 | sq(to));
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

    const std::string e4 = book_bytes({{key, pg("e2", "e4"), 1, 0}});
    write_bytes(dir + "/ragged.bin", book_bytes({{key - 5, pg("a2", "a3"), 1, 0}}) + e4 + e4.substr(0, 9));
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

} // namespace
} // namespace zelk::test
