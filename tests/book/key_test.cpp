// Polyglot keys: the published test keys, from FEN and from moves played
// (en passant only with a pawn to take, castling rights lost on the way).
#include <gtest/gtest.h>

#include <string>

#include "book/book.h"
#include "helpers.h"

namespace zelk::test {
namespace {

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
