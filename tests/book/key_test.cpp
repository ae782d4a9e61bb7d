// Polyglot keys: the published test keys, and every suite position (and
// every position one move later) against a reference computed from FEN text.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "book/book.h"
#include "core/makemove.h"
#include "helpers.h"

namespace zelk::test {
namespace {

// The published values, read from the text list rather than the engine's table.
const std::vector<uint64_t>& reference_values() {
    static const std::vector<uint64_t> values = [] {
        std::ifstream in(std::string(ZELK_TEST_DATA) + "/polyglot-random64.txt");
        if (!in)
            throw std::runtime_error("missing polyglot-random64.txt");
        std::vector<uint64_t> v;
        std::string line;
        while (std::getline(in, line))
            if (!line.empty() && line[0] != '#')
                v.push_back(std::stoull(line, nullptr, 16));
        return v;
    }();
    return values;
}

// The key straight from the FEN fields, as the format note describes it.
uint64_t reference_key(const std::string& fen) {
    const std::vector<uint64_t>& r = reference_values();
    std::istringstream in(fen);
    std::string board, side, castling, ep;
    in >> board >> side >> castling >> ep;
    char grid[8][8] = {};   // [rank][file]
    int rank = 7, file = 0;
    for (char c : board) {
        if (c == '/') {
            --rank;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
        } else {
            grid[rank][file++] = c;
        }
    }
    const std::string kinds = "pPnNbBrRqQkK";
    uint64_t key = 0;
    int king_file[2] = {4, 4};
    for (int rk = 0; rk < 8; ++rk)
        for (int f = 0; f < 8; ++f)
            if (char c = grid[rk][f]) {
                key ^= r[64 * kinds.find(c) + 8 * rk + f];
                if (c == 'K')
                    king_file[0] = f;
                if (c == 'k')
                    king_file[1] = f;
            }
    bool rights[4] = {};
    for (char c : castling) {
        if (c == 'K' || c == 'Q' || c == 'k' || c == 'q') {
            rights[(c == 'k' || c == 'q') * 2 + (c == 'Q' || c == 'q')] = true;
        } else if (c >= 'A' && c <= 'H') {
            rights[(c - 'A') < king_file[0] ? 1 : 0] = true;
        } else if (c >= 'a' && c <= 'h') {
            rights[2 + ((c - 'a') < king_file[1] ? 1 : 0)] = true;
        }
    }
    for (int i = 0; i < 4; ++i)
        if (rights[i])
            key ^= r[768 + i];
    if (ep != "-") {
        const int f = ep[0] - 'a';
        const int pawn_rank = side == "w" ? 4 : 3;
        const char ours = side == "w" ? 'P' : 'p';
        if ((f > 0 && grid[pawn_rank][f - 1] == ours) || (f < 7 && grid[pawn_rank][f + 1] == ours))
            key ^= r[772 + f];
    }
    if (side == "w")
        key ^= r[780];
    return key;
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
        EXPECT_EQ(reference_key(p.fen), p.key) << "reference: " << p.fen;
    }
    // a1a2 instead of a1a3 in the last line.
    Board b;
    play(b.pos, "a2a4 b7b5 h2h4 b5b4 c2c4 b4c3 a1a2");
    EXPECT_EQ(book_key(b.pos), 0x742ec75da0e25edcULL);
}

// Each suite position and each position after one of its legal moves (which
// brings in fresh en-passant squares, lost rights and promotions).
void check_suite(const char* file_name) {
    int checked = 0;
    for (const PerftCase& c : load_perft_suite(file_name)) {
        Board b(c.fen.c_str());
        ASSERT_EQ(book_key(b.pos), reference_key(c.fen)) << c.fen;
        for (Move m : legal_moves(b.pos)) {
            make_move(b.pos, m);
            const std::string fen = b.fen();
            ASSERT_EQ(book_key(b.pos), reference_key(fen)) << c.fen << " then " << fen;
            unmake_move(b.pos);
            ++checked;
        }
    }
    EXPECT_GT(checked, 1000);
}

TEST(BookKey, StandardSuiteMatchesReference) { check_suite("perft-standard.epd"); }
TEST(BookKey, Chess960SuiteMatchesReference) { check_suite("perft-chess960.epd"); }

} // namespace
} // namespace zelk::test
