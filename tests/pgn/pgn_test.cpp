// PGN: the line reader, the movetext tokens, games with their tags,
// comments and variations, move decoding, and real games replayed.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "helpers.h"
#include "pgn/pgn.h"

namespace zelk::pgn {
namespace {

// The text as a file open for reading.
using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
File file_of(const std::string& text) {
    File f(std::tmpfile(), std::fclose);
    std::fwrite(text.data(), 1, text.size(), f.get());
    std::rewind(f.get());
    return f;
}

// The pieces the reader cuts, each marked "-" when its line goes on.
std::vector<std::string> pieces(const std::string& text, size_t max_chars) {
    File f = file_of(text);
    LineReader reader(f.get(), max_chars);
    std::vector<std::string> out;
    std::string_view line;
    while (reader.next(line))
        out.push_back(std::string(line) + (reader.line_ended() ? "" : "-"));
    return out;
}

TEST(LineReader, CutsLinesLikeFixedSizeReads) {
    using V = std::vector<std::string>;
    EXPECT_EQ(pieces("ab\ncd\r\n\nlast", 255), (V{"ab", "cd", "", "last"}));
    // The line end counts: 4 characters and its end need two reads of 4.
    EXPECT_EQ(pieces("abcd\nef\n", 4), (V{"abcd-", "", "ef"}));
    EXPECT_EQ(pieces("abcdefghij\nk", 4), (V{"abcd-", "efgh-", "ij", "k"}));
    EXPECT_EQ(pieces(std::string("a\0b\n", 4), 255), (V{std::string("a\0b", 3)}));
    EXPECT_EQ(pieces("", 255), V{});
    // Lines far longer than the reader's block.
    auto got = pieces(std::string(200000, 'y') + "\nz\n", 1023);
    ASSERT_EQ(got.size(), 197u);
    EXPECT_EQ(got[194], std::string(1023, 'y') + "-");
    EXPECT_EQ(got[195], std::string(200000 - 195 * 1023, 'y'));
    EXPECT_EQ(got[196], "z");
}

std::string describe(const std::vector<Token>& tokens) {
    std::string out;
    for (const Token& t : tokens) {
        static const char* const KINDS[] = {"M", "C", "N", "R", "(", ")"};
        out += KINDS[int(t.kind)];
        out += std::to_string(t.variation_depth) + ":" + std::string(t.text) + "|";
    }
    return out;
}

TEST(Lexer, TokensAndDepths) {
    Lexer lexer;
    std::vector<Token> tokens;
    lexer.lex_line("1.e4 e5 2. Nf3 {+0.87/13 0.203s} 2...Nc6!? $14 3.O-O 0-0-0 e8=Q+", tokens);
    EXPECT_EQ(describe(tokens), "M0:e4|M0:e5|M0:Nf3|C0:+0.87/13 0.203s|M0:Nc6|N0:!?|N0:$14|M0:O-O|M0:0-0-0|M0:e8=Q+|");
    // Variations nest; move numbers with three dots vanish.
    lexer.lex_line("4. d4 (4. c3 (4. a3) 4... d5) 4... exd4 ! 1/2-1/2", tokens);
    EXPECT_EQ(describe(tokens), "M0:d4|(1:(|M1:c3|(2:(|M2:a3|)1:)|M1:d5|)0:)|M0:exd4|N0:!|R0:1/2-1/2|");
    // Nested braces stay in the comment; a comment runs over lines.
    lexer.lex_line("e4 {outer {inner} still", tokens);
    EXPECT_EQ(describe(tokens), "M0:e4|");
    EXPECT_EQ(lexer.comment_depth(), 1);
    lexer.lex_line("more} c5 {two} ; rest is a comment Nf3", tokens);
    EXPECT_EQ(describe(tokens), "C0:outer {inner} still more|M0:c5|C0:two|");
    // An escape line, a result, a stray closing brace and junk words.
    lexer.lex_line("% escaped Nf3", tokens);
    EXPECT_TRUE(tokens.empty());
    lexer.lex_line("} -- 17 ... 1-0 0-1 * ", tokens);
    EXPECT_EQ(describe(tokens), "R0:1-0|R0:0-1|R0:*|");
    // A comment closing a carried one and a new one left open on one line.
    lexer.lex_line("{a", tokens);
    lexer.lex_line("b} d4 {c", tokens);
    EXPECT_EQ(describe(tokens), "C0:a b|M0:d4|");
    lexer.lex_line("d}", tokens);
    EXPECT_EQ(describe(tokens), "C0:c d|");
    lexer.reset();
    lexer.lex_line("(", tokens);
    EXPECT_EQ(lexer.variation_depth(), 1);
    lexer.lex_line(") ) e4", tokens);
    EXPECT_EQ(describe(tokens), ")0:)|)0:)|M0:e4|");
}

std::vector<Game> read_all(const std::string& text, size_t max_chars = 255, size_t max_plies = 1000) {
    File f = file_of(text);
    GameReader reader(f.get(), max_chars, max_plies);
    std::vector<Game> games;
    Game g;
    while (reader.next(g))
        games.push_back(g);
    return games;
}

TEST(GameReader, GamesTagsCommentsAndVariations) {
    const std::string text =
        "[Event \"one\"]\n[FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"]\n[White \"A \\\"B\\\" C\"] [Round \"3\"]\n[Result \"1-0\"]\n\n"
        "{before} 1. Ka2 {book} {second} 1... Kg1 $2 (1... Kh2 {in a variation} 2. Kb1) 2. Kb3 1-0\n"
        "[Event \"two\"]\n[Broken \"no end\n[Result \"*\"]\n1. e4 {open comment\n"
        "[Event \"three\"]\n1. d4 *\n"
        "1. c4 c5 1/2-1/2 1. Nf3 {left open";
    auto games = read_all(text);
    ASSERT_EQ(games.size(), 5u);
    EXPECT_FALSE(is_tag_line("[%clk 0:01:00]"));
    const Game& g = games[0];
    EXPECT_EQ(g.tag_lines.size(), 4u);
    EXPECT_EQ(g.fen, "8/8/8/8/8/8/8/K6k w - - 0 1");
    // Tag values keep their escapes; a line may hold several tags.
    EXPECT_EQ(g.tag("White"), "A \\\"B\\\" C");
    EXPECT_EQ(g.tag("Round"), "3");
    EXPECT_EQ(g.result_tag, "1-0");
    EXPECT_EQ(g.result, "1-0");
    EXPECT_EQ(g.tag("Site"), "");
    EXPECT_EQ(g.comment_before, "before");
    ASSERT_EQ(g.moves.size(), 3u);
    EXPECT_EQ(g.moves[0].comment, "book second");
    EXPECT_EQ(g.moves[1].text, "Kg1");
    EXPECT_EQ(g.moves[1].nags, "$2");
    EXPECT_FALSE(g.moves[1].has_comment);
    EXPECT_EQ(g.moves[2].text, "Kb3");
    EXPECT_EQ(g.variation_moves, 2);
    // A tag line ends a game whose comment is still open.
    EXPECT_EQ(games[1].moves.size(), 1u);
    EXPECT_EQ(games[1].result, "");
    EXPECT_EQ(games[1].tag("Broken"), "");
    EXPECT_EQ(games[2].tag("Event"), "three");
    EXPECT_EQ(games[2].moves.size(), 1u);
    // Games without tags, one after another on a line.
    EXPECT_EQ(games[3].moves.size(), 2u);
    EXPECT_EQ(games[3].result, "1/2-1/2");
    EXPECT_EQ(games[4].moves.size(), 1u);
    EXPECT_TRUE(games[4].comment_unterminated);
    EXPECT_FALSE(games[3].comment_unterminated);
}

TEST(GameReader, LineAndPlyLimitsAndEmptyInput) {
    // Pieces of 10: "1. e4 {+0." "87/13 0.2s" "} e5 {a" "b}": a comment
    // joins the pieces of a cut line directly, real lines with a blank.
    auto games = read_all("1. e4 {+0.87/13 0.2s} e5 {a\nb}", 10);
    ASSERT_EQ(games.size(), 1u);
    ASSERT_EQ(games[0].moves.size(), 2u);
    EXPECT_EQ(games[0].moves[0].comment, "+0.87/13 0.2s");
    EXPECT_EQ(games[0].moves[1].comment, "a b");
    std::string text = "[Event \"long\"]\n";
    for (int i = 1; i <= 800; ++i)
        text += std::to_string(i) + ". Nf3 {+0.1/1} Nf6 Ng1 Ng8\n";
    games = read_all(text, 255, 791);
    ASSERT_EQ(games.size(), 1u);
    EXPECT_EQ(games[0].moves.size(), 791u);
    EXPECT_TRUE(games[0].truncated);
    EXPECT_EQ(games[0].moves[790].comment, "");
    EXPECT_TRUE(read_all("").empty());
    EXPECT_TRUE(read_all("\n\n   \n").empty());
}

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
        {START_FEN, "Ng1f3", "g1f3"}, {START_FEN, "e2-e4", "e2e4"}, {START_FEN, "e5", "-"}, {START_FEN, "Kxz9", "-"},
        {START_FEN, "O-O", "-"}, {KIWI, "0-0-0+", "e1c1"}, {KIWI, "e1h1", "e1g1"},
        {KIWI, "Qf3xf6!!", "f3f6"}, {KIWI, "de6", "d5e6"},
        // Rooks: only one reaches, both reach, rank and file hints.
        {"4k3/8/8/8/8/8/8/R3K2R w - -", "Rf1", "h1f1"}, {ROOKS, "Rd1", "-"}, {ROOKS, "Rad1", "a1d1"},
        {"4k3/8/8/8/8/R7/8/R3K3 w - -", "R1a2", "a1a2"},
        // A pinned knight leaves the move to the other one.
        {"4k3/4r3/8/8/8/8/2N1N3/4K3 w - -", "Nd4", "c2d4"}, {"4k3/8/8/8/8/8/2N1N3/4K3 w - -", "Nd4", "-"},
        // En passant and promotions.
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6", "exd6", "e5d6"}, {PROMO, "c8N", "c7c8n"},
        {PROMO, "cxd8=R+", "c7d8r"}, {PROMO, "c8", "c7c8q"}, {PROMO, "c8=K", "-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decoded(c.fen, c.text), c.move) << c.fen << " " << c.text;
}

TEST(Replay, Chess960AndBrokenGames) {
    // King on c1, rooks on b1 and g1: O-O takes the king to g1 and the rook
    // to f1; O-O-O leaves the king where it stands and puts the rook on d1.
    const std::string fen = "[FEN \"nrkbqbrn/pppppppp/8/8/8/8/PPPPPPPP/NRKBQBRN w GBgb - 0 1\"]\n";
    Game g = read_all(fen + "1. g3 g6 2. Bg2 Bg7 3. e3 e6 4. Be2 Be7 5. f4 f5 6. Qf2 Qf7 7. O-O 0-0 *\n").at(0);
    test::Board b;
    EXPECT_EQ(replay(g, b.pos, 800), 14);
    EXPECT_EQ(b.fen(), "nr3rkn/ppppbqbp/4p1p1/5p2/5P2/4P1P1/PPPPBQBP/NR3RKN w - -");
    g = read_all(fen + "1. e3 e6 2. Bde2 Bde7 3. O-O-O c8b8 *\n").at(0);
    EXPECT_EQ(replay(g, b.pos, 800), 6);
    EXPECT_EQ(b.fen(), "n1krqbrn/ppppbppp/4p3/8/8/4P3/PPPPBPPP/N1KRQBRN w - -");
    // An illegal move ends the replay; moves after it keep no engine move.
    g = read_all("1. e4 e5 2. Ke3 Nc6 *\n").at(0);
    EXPECT_EQ(replay(g, b.pos, 800), 2);
    EXPECT_EQ(g.moves[2].move, NO_MOVE);
    // FENs without a black king, with a pawn on the last rank, or with the
    // side not to move in check are refused.
    for (const char* bad : {"8/8/8/8/8/8/8/K7 w - - 0 1", "k6P/8/8/8/8/8/8/K7 w - - 0 1", "k6R/8/8/8/8/8/8/K7 w - - 0 1"}) {
        g = read_all(std::string("[FEN \"") + bad + "\"]\n1. Ka2 *\n").at(0);
        EXPECT_EQ(replay(g, b.pos, 800), -1) << bad;
    }
    // The ply limit holds the history stack.
    std::string text;
    for (int i = 0; i < 800; ++i)
        text += "Nf3 Nf6 Ng1 Ng8\n";
    g = read_all(text).at(0);
    EXPECT_EQ(replay(g, b.pos, 880), 880);
    EXPECT_EQ(b.fen(), START_FEN);
}

// Every game of a PGN file replays to its end with its result; the counts.
struct FileCounts {
    int games = 0, decisive = 0;
    long plies = 0;
};

FileCounts replay_file(std::FILE* f) {
    GameReader reader(f, 255, 1000);
    Game g;
    test::Board b;
    FileCounts n;
    while (reader.next(g)) {
        ++n.games;
        const int played = replay(g, b.pos, 880);
        EXPECT_EQ(played, int(g.moves.size())) << "game " << n.games;
        EXPECT_EQ(g.result, g.result_tag) << "game " << n.games;
        if (::testing::Test::HasFailure())
            break;
        n.plies += played;
        n.decisive += g.result != "1/2-1/2";
    }
    std::fclose(f);
    return n;
}

// The Chess960 match games (fastchess, Shredder-FEN starts, castling
// included) and the human collection, whose plies were counted without this
// reader: the movetext words that are neither move numbers nor results.
TEST(Replay, RealGamesReplayToTheirEnd) {
    std::FILE* f = std::fopen(ZELK_TEST_DATA "/selfplay-chess960.pgn", "r");
    ASSERT_NE(f, nullptr);
    FileCounts n = replay_file(f);
    EXPECT_EQ(n.games, 12);
    EXPECT_EQ(n.plies, 1223);
    EXPECT_EQ(n.decisive, 11);
    if (!(f = std::fopen(ZELK_SHARED_DATA "/suites/games-human.pgn", "r")))
        GTEST_SKIP() << "no shared game collection";
    n = replay_file(f);
    EXPECT_EQ(n.games, 2234);
    EXPECT_EQ(n.plies, 182591);
    EXPECT_EQ(n.decisive, 1542);
}

} // namespace
} // namespace zelk::pgn
