// Move texts decoded on real positions, and whole games replayed: the human
// game collection, Chess960 games from a FEN tag, broken games.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/makemove.h"
#include "helpers.h"
#include "pgn/pgn.h"
#include "pgn_files.h"

namespace zelk::pgn {
namespace {

std::string decoded(const char* fen, const char* text) {
    test::Board b(fen);
    const Move m = decode_move(b.pos, text);
    return m == NO_MOVE ? "-" : test::coord(b.pos, m);
}

TEST(DecodeMove, SanCoordinatesAndCastling) {
    const char* const KIWI = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
    const char* const ROOKS = "4k3/8/8/8/8/8/4K3/R6R w - -";
    const char* const PROMO = "3rk3/2P5/8/8/8/8/8/4K3 w - -";
    const struct {
        const char* fen;
        const char* text;
        const char* move;   // "-": refused
    } cases[] = {
        {START_FEN, "e4", "e2e4"}, {START_FEN, "Ng1f3", "g1f3"}, {START_FEN, "g1f3", "g1f3"},
        {START_FEN, "e2-e4", "e2e4"}, {START_FEN, "e5", "-"}, {START_FEN, "Nf4", "-"}, {START_FEN, "Kxz9", "-"},
        {START_FEN, "O-O", "-"}, {KIWI, "O-O", "e1g1"}, {KIWI, "0-0-0+", "e1c1"}, {KIWI, "e1h1", "e1g1"},
        {KIWI, "Qf3xf6!!", "f3f6"}, {KIWI, "dxe6", "d5e6"}, {KIWI, "de6", "d5e6"},
        // Rooks: only one reaches, both reach, rank and file hints.
        {"4k3/8/8/8/8/8/8/R3K2R w - -", "Rf1", "h1f1"}, {"4k3/8/8/8/8/8/8/R2K3R w - -", "Rc1", "a1c1"},
        {ROOKS, "Rd1", "-"}, {ROOKS, "Rad1", "a1d1"}, {"4k3/8/8/8/8/R7/8/R3K3 w - -", "R1a2", "a1a2"},
        // A pinned knight leaves the move to the other one.
        {"4k3/4r3/8/8/8/8/2N1N3/4K3 w - -", "Nd4", "c2d4"}, {"4k3/8/8/8/8/8/2N1N3/4K3 w - -", "Nd4", "-"},
        // En passant and promotions.
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6", "exd6", "e5d6"}, {PROMO, "c8=Q", "c7c8q"}, {PROMO, "c8N", "c7c8n"},
        {PROMO, "cxd8=R+", "c7d8r"}, {PROMO, "c7d8b", "c7d8b"}, {PROMO, "c8", "c7c8q"}, {PROMO, "c8=K", "-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decoded(c.fen, c.text), c.move) << c.fen << " " << c.text;
}

Game game_from(const std::string& text) {
    test::MemoryFile f(text);
    GameReader reader(f.get(), 255, 1000);
    Game g;
    EXPECT_TRUE(reader.next(g));
    return g;
}

TEST(Replay, Chess960AndBrokenGames) {
    // King on c1, rooks on b1 and g1: O-O takes the king to g1 and the rook
    // to f1; O-O-O leaves the king where it stands and puts the rook on d1.
    const std::string fen = "[FEN \"nrkbqbrn/pppppppp/8/8/8/8/PPPPPPPP/NRKBQBRN w GBgb - 0 1\"]\n";
    Game g = game_from(fen + "1. g3 g6 2. Bg2 Bg7 3. e3 e6 4. Be2 Be7 5. f4 f5 6. Qf2 Qf7 7. O-O 0-0 *\n");
    test::Board b;
    EXPECT_EQ(replay(g, b.pos, 800), 14);
    EXPECT_EQ(b.fen(), "nr3rkn/ppppbqbp/4p1p1/5p2/5P2/4P1P1/PPPPBQBP/NR3RKN w - -");
    g = game_from(fen + "1. e3 e6 2. Bde2 Bde7 3. O-O-O c8b8 *\n");
    EXPECT_EQ(replay(g, b.pos, 800), 6);
    EXPECT_EQ(b.fen(), "n1krqbrn/ppppbppp/4p3/8/8/4P3/PPPPBPPP/N1KRQBRN w - -");
    // An illegal move ends the replay; moves after it keep no engine move.
    g = game_from("1. e4 e5 2. Ke3 Nc6 *\n");
    EXPECT_EQ(replay(g, b.pos, 800), 2);
    EXPECT_EQ(g.moves[2].move, NO_MOVE);
    // FENs without a black king, with a pawn on the last rank, or with the
    // side not to move in check are refused.
    for (const char* bad : {"8/8/8/8/8/8/8/K7 w - - 0 1", "k6P/8/8/8/8/8/8/K7 w - - 0 1", "k6R/8/8/8/8/8/8/K7 w - - 0 1",
                            "kK6/8/8/8/8/8/8/8 w - - 0 1", "k7/8/8/8/8/8/8/KK6 w - - 0 1"}) {
        g = game_from(std::string("[FEN \"") + bad + "\"]\n1. Ka2 *\n");
        EXPECT_EQ(replay(g, b.pos, 800), -1) << bad;
    }
    // The ply limit holds the history stack.
    std::string text;
    for (int i = 0; i < 800; ++i)
        text += "Nf3 Nf6 Ng1 Ng8\n";
    g = game_from(text);
    EXPECT_EQ(g.moves.size(), 1000u);
    EXPECT_EQ(replay(g, b.pos, 880), 880);
    EXPECT_EQ(b.fen(), START_FEN);
}

// Counted independently of this reader: plies are the movetext words that
// are neither move numbers nor results.
constexpr long HUMAN_PLIES = 182591;
constexpr int HUMAN_DECISIVE = 1542;

TEST(Replay, HumanGamesAllReplay) {
    std::FILE* f = std::fopen(ZELK_SHARED_DATA "/suites/games-human.pgn", "r");
    if (!f)
        GTEST_SKIP() << "no shared game collection";
    GameReader reader(f, 255, 1000);
    Game g;
    test::Board b;
    int games = 0, decisive = 0;
    long plies = 0;
    while (reader.next(g)) {
        ++games;
        const int played = replay(g, b.pos, 880);
        ASSERT_EQ(played, int(g.moves.size())) << "game " << games << " move " << g.moves[played].text;
        ASSERT_EQ(g.result, g.result_tag) << "game " << games;
        plies += played;
        decisive += g.result != "1/2-1/2";
    }
    std::fclose(f);
    EXPECT_EQ(games, 2234);
    EXPECT_EQ(plies, HUMAN_PLIES);
    EXPECT_EQ(decisive, HUMAN_DECISIVE);
}

// Chess960 games played by fastchess from Shredder-FEN start positions,
// castling included: every game replays to its end.
TEST(Replay, Chess960MatchGames) {
    std::FILE* f = std::fopen(ZELK_TEST_DATA "/selfplay-chess960.pgn", "r");
    ASSERT_NE(f, nullptr);
    GameReader reader(f, 255, 1000);
    Game g;
    test::Board b;
    int games = 0, castlings = 0;
    while (reader.next(g)) {
        ++games;
        EXPECT_FALSE(g.fen.empty());
        const int played = replay(g, b.pos, 880);
        ASSERT_EQ(played, int(g.moves.size())) << "game " << games << " move " << g.moves[played].text;
        for (const GameMove& m : g.moves)
            castlings += m.text.starts_with("O-O");
    }
    std::fclose(f);
    EXPECT_EQ(games, 12);
    EXPECT_EQ(castlings, 5);
}

} // namespace
} // namespace zelk::pgn
