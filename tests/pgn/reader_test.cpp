// The PGN reader: line pieces as fixed-size reads cut them, the movetext
// tokens, games with their tags, comments and variations.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "pgn/pgn.h"
#include "pgn_files.h"

namespace zelk::pgn {
namespace {

std::vector<std::string> pieces(const std::string& text, size_t max_chars) {
    test::MemoryFile f(text);
    LineReader reader(f.get(), max_chars);
    std::vector<std::string> out;
    std::string_view line;
    while (reader.next(line))
        out.emplace_back(line);
    return out;
}

TEST(LineReader, CutsLinesLikeFixedSizeReads) {
    using V = std::vector<std::string>;
    EXPECT_EQ(pieces("ab\ncd\r\n\nlast", 255), (V{"ab", "cd", "", "last"}));
    // The line end counts: 4 characters and its end need two reads of 4.
    EXPECT_EQ(pieces("abcd\nef\n", 4), (V{"abcd", "", "ef"}));
    EXPECT_EQ(pieces("abcdefghij\n", 4), (V{"abcd", "efgh", "ij"}));
    EXPECT_EQ(pieces(std::string(600, 'x') + "\n", 255),
              (V{std::string(255, 'x'), std::string(255, 'x'), std::string(90, 'x')}));
    EXPECT_EQ(pieces(std::string("a\0b\n", 4), 255), (V{std::string("a\0b", 3)}));
    EXPECT_EQ(pieces("", 255), V{});
    // Lines far longer than the reader's block.
    std::string big(200000, 'y');
    // Pieces of a longer line say that the line goes on.
    {
        test::MemoryFile f("abcdefghij\nk");
        LineReader reader(f.get(), 4);
        std::string_view line;
        std::string ends;
        while (reader.next(line))
            ends += reader.line_ended() ? 'E' : '-';
        EXPECT_EQ(ends, "--EE");
    }
    auto got = pieces(big + "\nz\n", 1023);
    ASSERT_EQ(got.size(), 197u);
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

TEST(Tags, LinesAndValues) {
    EXPECT_TRUE(is_tag_line("[Event \"x\"]"));
    EXPECT_FALSE(is_tag_line("[%clk 0:01:00]"));
    EXPECT_FALSE(is_tag_line("["));
    std::vector<Tag> tags;
    parse_tags("[White \"A \\\"B\\\" C\"] [Round \"3\"]", tags);
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].name, "White");
    EXPECT_EQ(tags[0].value, "A \\\"B\\\" C");
    EXPECT_EQ(tags[1].value, "3");
    parse_tags("[Broken \"no end", tags);
    EXPECT_TRUE(tags.empty());
}

std::vector<Game> read_all(const std::string& text, size_t max_chars = 255, size_t max_plies = 1000) {
    test::MemoryFile f(text);
    GameReader reader(f.get(), max_chars, max_plies);
    std::vector<Game> games;
    Game g;
    while (reader.next(g))
        games.push_back(g);
    return games;
}

TEST(GameReader, GamesTagsCommentsAndVariations) {
    const std::string text =
        "[Event \"one\"]\n[FEN \"8/8/8/8/8/8/8/K6k w - - 0 1\"]\n[Result \"1-0\"]\n\n"
        "{before} 1. Ka2 {book} {second} 1... Kg1 $2 (1... Kh2 {in a variation} 2. Kb1) 2. Kb3 1-0\n"
        "[Event \"two\"]\n[Result \"*\"]\n1. e4 {open comment\n"
        "[Event \"three\"]\n1. d4 *\n"
        "1. c4 c5 1/2-1/2 1. Nf3 {left open";
    auto games = read_all(text);
    ASSERT_EQ(games.size(), 5u);
    const Game& g = games[0];
    EXPECT_EQ(g.tag_lines.size(), 3u);
    EXPECT_EQ(g.fen, "8/8/8/8/8/8/8/K6k w - - 0 1");
    EXPECT_EQ(g.result_tag, "1-0");
    EXPECT_EQ(g.result, "1-0");
    EXPECT_EQ(g.tag("Event"), "one");
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
    EXPECT_EQ(games[2].tag("Event"), "three");
    EXPECT_EQ(games[2].moves.size(), 1u);
    // Games without tags, one after another on a line.
    EXPECT_EQ(games[3].moves.size(), 2u);
    EXPECT_EQ(games[3].result, "1/2-1/2");
    EXPECT_EQ(games[4].moves.size(), 1u);
    EXPECT_TRUE(games[4].comment_unterminated);
    EXPECT_FALSE(games[3].comment_unterminated);
}

TEST(GameReader, CommentCutByTheLineLength) {
    // Pieces of 10: "1. e4 {+0." "87/13 0.2s" "} e5 {a" "b}": a comment
    // joins the pieces of a cut line directly, real lines with a blank.
    auto games = read_all("1. e4 {+0.87/13 0.2s} e5 {a\nb}", 10);
    ASSERT_EQ(games.size(), 1u);
    ASSERT_EQ(games[0].moves.size(), 2u);
    EXPECT_EQ(games[0].moves[0].comment, "+0.87/13 0.2s");
    EXPECT_EQ(games[0].moves[1].comment, "a b");
}

TEST(GameReader, PlyLimitAndEmptyInput) {
    std::string text = "[Event \"long\"]\n";
    for (int i = 1; i <= 800; ++i)
        text += std::to_string(i) + ". Nf3 {+0.1/1} Nf6 Ng1 Ng8\n";
    auto games = read_all(text, 255, 791);
    ASSERT_EQ(games.size(), 1u);
    EXPECT_EQ(games[0].moves.size(), 791u);
    EXPECT_TRUE(games[0].truncated);
    EXPECT_EQ(games[0].moves[790].comment, "");
    EXPECT_TRUE(read_all("").empty());
    EXPECT_TRUE(read_all("\n\n   \n").empty());
}

} // namespace
} // namespace zelk::pgn
