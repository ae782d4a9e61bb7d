// Polyglot keys against the published ones, and probing: the shipped book,
// the weighted choice and its variety, move conversion, and books that are
// missing, short, ragged or unsorted.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "book/book.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "helpers.h"
#include "net_file.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

const std::string SHIPPED_BOOK = std::string(ZELK_SHARED_DATA) + "/books/gnuchess-public-domain.bin";

std::string polyglot_text(uint16_t m) {
    char from[3], to[3];
    square_name((m >> 6) & 63, from);
    square_name(m & 63, to);
    return std::string(from) + to;
}

void write_book(const std::string& path, const std::vector<BookEntry>& entries) {
    std::ofstream out(path, std::ios::binary);
    for (const BookEntry& e : entries) {
        unsigned char bytes[BOOK_ENTRY_BYTES];
        book_entry_encode(e, bytes);
        out.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
}

// A probe with its "info string" line swallowed.
Move quiet_probe(Position& pos, const std::string& file, int variety = 25) {
    testing::internal::CaptureStdout();
    Move m = book_probe(pos, file.c_str(), BookStyle{variety, true, false});
    testing::internal::GetCapturedStdout();
    return m;
}

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
    BookEntry first;
    ASSERT_TRUE(book.read(49435, first));
    unsigned char bytes[BOOK_ENTRY_BYTES];
    book_entry_encode(first, bytes);
    const unsigned char published[] = {0x46, 0x3b, 0x96, 0x18, 0x16, 0x91, 0xfc, 0x9c,
                                       0x03, 0x1c, 0x2f, 0x67, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes, published, sizeof bytes), 0);

    Board b;
    BookEntry entries[BOOK_KEY_ENTRIES];
    const int n = book_find(book, book_key(b.pos), entries);
    const std::vector<std::pair<std::string, int>> expected = {
        {"e2e4", 12135}, {"d2d4", 11257}, {"g1f3", 3745}, {"c2c4", 3294}, {"g2g3", 243},
        {"b2b3", 38},    {"f2f4", 35},    {"b1c3", 16},   {"b2b4", 16},   {"e2e3", 7},
        {"d2d3", 5},     {"g2g4", 4},     {"a2a3", 2}};
    ASSERT_EQ(n, int(expected.size()));
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(polyglot_text(entries[i].move), expected[i].first);
        EXPECT_EQ(entries[i].weight, expected[i].second);
        EXPECT_EQ(coord(b.pos, book_move_to_engine(entries[i].move, b.pos)), expected[i].first);
    }

    testing::internal::CaptureStdout();
    const Move m = book_probe(b.pos, SHIPPED_BOOK.c_str(), BookStyle{});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "info string ( book moves are: e2e4 d2d4 g1f3 c2c4 g2g3 b2b3 f2f4 b1c3 b2b4 e2e3 d2d3 g2g4 a2a3  )\n");
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
    for (int i = 0; i < draws; ++i)
        ++counts[polyglot_text(entries[book_choose(entries, n, w, book_random_draw())].move)];
    return counts;
}

TEST_F(ShippedBook, VarietySharpensBelowAndFlattensAbove25) {
    const int draws = 20000;
    auto sharp = count_choices(0, draws), plain = count_choices(25, draws), flat = count_choices(100, draws);
    // At 25 the shares follow the stored weights: e2e4 12135 / 30797 = 39.4%.
    EXPECT_NEAR(plain["e2e4"] / double(draws), 0.394, 0.015);
    EXPECT_NEAR(plain["g1f3"] / double(draws), 3745 / 30797.0, 0.01);
    // At 0 a quarter of the top weight is taken off: only e2e4, d2d4, g1f3, c2c4 remain
    // (adjusted 2955, 2670, 231, 84 of 5940).
    EXPECT_EQ(sharp.size(), 4u);
    EXPECT_NEAR(sharp["e2e4"] / double(draws), 2955 / 5940.0, 0.015);
    EXPECT_NEAR(sharp["c2c4"] / double(draws), 84 / 5940.0, 0.005);
    // At 100 three quarters of the top weight is added to each: every move
    // plays, e2e4 falls to 6895 / 47411.
    EXPECT_EQ(flat.size(), 13u);
    EXPECT_NEAR(flat["e2e4"] / double(draws), 6895 / 47411.0, 0.015);
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

TEST(BookMoves, CastlingAndPromotionsComeBackAsEngineMoves) {
    Board b("r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq - 0 1");
    struct Case {
        uint16_t move;
        Move engine;
    } cases[] = {
        {pg("e1", "h1"), make_move_code(4, 6, FLAG_SHORT)},   // long castling: in the round trip below
        // Books written with the castling marker copied into the promotion field.
        {pg("e1", "h1", 4), make_move_code(4, 6, FLAG_SHORT)},
        {pg("e1", "a1", 1), make_move_code(4, 2, FLAG_LONG)},
        {pg("b7", "a8", 4), make_move_code(49, 56, FLAG_QUEEN)},
        {pg("b7", "a8", 1), make_move_code(49, 56, FLAG_KNIGHT)},
        {pg("b7", "b8", 2), make_move_code(49, 57, FLAG_BISHOP)},
        {pg("b7", "b8", 3), make_move_code(49, 57, FLAG_ROOK)},
        {pg("a1", "a7"), make_move_code(0, 48)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(book_move_to_engine(c.move, b.pos), c.engine) << polyglot_text(c.move);
    // Black castles and promotes the same way; a rook on e1 taking h1 is a rook move.
    Board black("r3k2r/8/8/8/8/8/6p1/R3K2R b KQkq - 0 1");
    EXPECT_EQ(book_move_to_engine(pg("e8", "h8"), black.pos), make_move_code(60, 62, FLAG_SHORT));
    EXPECT_EQ(book_move_to_engine(pg("e8", "a8"), black.pos), make_move_code(60, 58, FLAG_LONG));
    EXPECT_EQ(book_move_to_engine(pg("g2", "h1", 4), black.pos), make_move_code(14, 7, FLAG_QUEEN));
    Board rook("4k3/8/8/8/8/8/6K1/4R2n w - - 0 1");
    EXPECT_EQ(book_move_to_engine(pg("e1", "h1"), rook.pos), make_move_code(4, 7));
}

TEST(BookMoves, EngineToPolyglotRoundTrip) {
    Board b("r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1");
    EXPECT_EQ(book_move_from_engine(make_move_code(4, 6, FLAG_SHORT), b.pos), pg("e1", "h1"));
    EXPECT_EQ(book_move_from_engine(make_move_code(4, 2, FLAG_LONG), b.pos), pg("e1", "a1"));
    for (Move m : legal_moves(b.pos))
        EXPECT_EQ(book_move_to_engine(book_move_from_engine(m, b.pos), b.pos), m) << coord(b.pos, m);
}

TEST_F(ShippedBook, RealCastlingEntriesAreLegalCastling) {
    Board b;
    play(b.pos, "e2e4 e7e5 g1f3 b8c6 f1c4 f8c5");
    BookFile book(SHIPPED_BOOK.c_str());
    BookEntry entries[BOOK_KEY_ENTRIES];
    const int n = book_find(book, book_key(b.pos), entries);
    bool castles = false;
    for (int i = 0; i < n; ++i) {
        const Move m = book_move_to_engine(entries[i].move, b.pos);
        EXPECT_TRUE(is_pseudo_legal(b.pos, m) && is_legal(b.pos, WHITE, m)) << polyglot_text(entries[i].move);
        if (entries[i].move == 0x0107) {
            castles = true;
            EXPECT_EQ(m, make_move_code(4, 6, FLAG_SHORT));
        }
    }
    EXPECT_TRUE(castles);
}

TEST(BookFiles, MoreThan128EntriesOfAKeyUseTheFirst128) {
    Board b;
    const uint64_t key = book_key(b.pos);
    std::vector<BookEntry> entries;
    entries.push_back(BookEntry{key - 1, pg("a2", "a3"), 5, 0});
    for (int i = 0; i < 200; ++i)
        entries.push_back(BookEntry{key, uint16_t(i < 128 ? pg("e2", "e4") : pg("d2", "d4")), 100, 0});
    entries.push_back(BookEntry{key + 1, pg("a2", "a3"), 5, 0});
    const std::string path = make_temp_dir() + "/long.bin";
    write_book(path, entries);
    BookFile book(path.c_str());
    BookEntry found[BOOK_KEY_ENTRIES];
    ASSERT_EQ(book_find(book, key, found), 128);
    for (const BookEntry& e : found)
        EXPECT_EQ(e.move, pg("e2", "e4"));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(quiet_probe(b.pos, path), make_move_code(12, 28));
}

TEST(BookFiles, BadBooksGiveNoMoveAndNeverFail) {
    Board b;
    const uint64_t key = book_key(b.pos);
    const std::string dir = make_temp_dir();
    EXPECT_EQ(quiet_probe(b.pos, ""), NO_MOVE);
    EXPECT_EQ(quiet_probe(b.pos, dir + "/missing.bin"), NO_MOVE);
    EXPECT_EQ(quiet_probe(b.pos, dir), NO_MOVE);
    write_bytes(dir + "/empty.bin", "");
    EXPECT_EQ(quiet_probe(b.pos, dir + "/empty.bin"), NO_MOVE);

    // The start position's entry cut to 15 bytes.
    unsigned char bytes[BOOK_ENTRY_BYTES];
    book_entry_encode(BookEntry{key, pg("e2", "e4"), 1, 0}, bytes);
    write_bytes(dir + "/short.bin", std::string(reinterpret_cast<char*>(bytes), 15));
    EXPECT_EQ(quiet_probe(b.pos, dir + "/short.bin"), NO_MOVE);

    // Two entries and a ragged tail: the entries are read, the tail is not.
    write_book(dir + "/ragged.bin", {{key - 5, pg("a2", "a3"), 1, 0}, {key, pg("e2", "e4"), 1, 0}});
    {
        std::ofstream tail(dir + "/ragged.bin", std::ios::binary | std::ios::app);
        tail.write(reinterpret_cast<char*>(bytes), 9);
    }
    EXPECT_EQ(quiet_probe(b.pos, dir + "/ragged.bin"), make_move_code(12, 28));

    // An illegal book move gives nothing.
    write_book(dir + "/illegal.bin", {{key, pg("e2", "e5"), 1, 0}});
    EXPECT_EQ(quiet_probe(b.pos, dir + "/illegal.bin"), NO_MOVE);

    // Random bytes as a book: whatever comes back is a legal move, over the
    // suite positions and garbage keys alike.
    std::string noise(16 * 997 + 7, '\0');
    uint32_t s = 99;
    for (char& c : noise) {
        s = s * 1103515245u + 12345u;
        c = char(s >> 16);
    }
    // Plant the start position's key in the middle of the unsorted mess.
    std::memcpy(&noise[16 * 500], bytes, 16);
    write_bytes(dir + "/noise.bin", noise);
    for (const PerftCase& c : load_perft_suite("perft-standard.epd")) {
        Board p(c.fen.c_str());
        const Move m = quiet_probe(p.pos, dir + "/noise.bin");
        if (m) {
            EXPECT_TRUE(is_pseudo_legal(p.pos, m) && is_legal(p.pos, p.pos.side, m)) << c.fen;
        }
    }
}

struct PublishedKey {
    const char* moves;
    const char* fen;
    uint64_t key;
};

const PublishedKey PUBLISHED[] = {
    {"", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0x463b96181691fc9cULL},
    {"e2e4", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 0x823c9b50fd114196ULL},
    {"e2e4 d7d5", "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", 0x0756b94461c50fb0ULL},
    {"e2e4 d7d5 e4e5", "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2", 0x662fafb965db29d4ULL},
    {"e2e4 d7d5 e4e5 f7f5", "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", 0x22a48b5a8e47ff78ULL},
    {"e2e4 d7d5 e4e5 f7f5 e1e2", "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR b kq - 1 3", 0x652a607ca3f242c1ULL},
    {"e2e4 d7d5 e4e5 f7f5 e1e2 e8f7", "rnbq1bnr/ppp1pkpp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR w - - 2 4",
     0x00fdd303c946bdd9ULL},
    {"a2a4 b7b5 h2h4 b5b4 c2c4", "rnbqkbnr/p1pppppp/8/8/PpP4P/8/1P1PPPP1/RNBQKBNR b KQkq c3 0 3",
     0x3c8123ea7b067637ULL},
    {"a2a4 b7b5 h2h4 b5b4 c2c4 b4c3 a1a3", "rnbqkbnr/p1pppppp/8/8/P6P/R1p5/1P1PPPP1/1NBQKBNR b Kkq - 1 4",
     0x5c3f9b829b279560ULL},
};

TEST(BookKey, PublishedKeysFromFenAndFromMoves) {
    for (const PublishedKey& p : PUBLISHED) {
        Board from_fen(p.fen);
        EXPECT_EQ(book_key(from_fen.pos), p.key) << p.fen;
        Board played;
        play(played.pos, p.moves);
        EXPECT_EQ(book_key(played.pos), p.key) << p.moves;
    }
    // a1a2 instead of a1a3 in the last line.
    Board b;
    play(b.pos, "a2a4 b7b5 h2h4 b5b4 c2c4 b4c3 a1a2");
    EXPECT_EQ(book_key(b.pos), 0x742ec75da0e25edcULL);
}

} // namespace
} // namespace zelk::test
