// PGN reading: a file cut into lines the way fixed-size line reads cut it,
// movetext tokens with their comment and variation depths, whole games with
// their tags and main-line moves, and those moves turned into engine moves
// on a position.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/position.h"
#include "core/types.h"

namespace zelk::pgn {

// Reads a file in pieces of at most `max_chars` characters, the line end
// counted as one: exactly the pieces that fgets with a buffer of
// max_chars + 1 bytes returns, so a longer line comes back in several
// pieces. The line end and a carriage return before it are cut off. Any byte
// value, NUL included, is passed through.
class LineReader {
public:
    LineReader(std::FILE* file, size_t max_chars);
    // The next piece, valid until the next call; false at the end of the file.
    bool next(std::string_view& line);
    // Whether the last piece ended with its line (false: the line goes on).
    bool line_ended() const { return line_ended_; }

private:
    void refill();
    std::FILE* file_;
    size_t max_chars_;
    std::vector<char> block_;
    size_t begin_ = 0, end_ = 0;
    bool at_eof_ = false;
    bool line_ended_ = true;
};

// A tag line: "[" followed by a letter. Tag lines are read whether or not a
// comment is open, so that a comment left open cannot swallow the games
// that follow.
bool is_tag_line(std::string_view line);

struct Tag {
    std::string_view name;
    std::string_view value;   // between the quotes, escapes left as written
};

// Every "[Name "value"]" of a tag line, in order.
void parse_tags(std::string_view line, std::vector<Tag>& out);

enum class TokenKind : uint8_t {
    MOVE,              // text: the move as written, move number and "!"/"?" marks removed
    COMMENT,           // text: what stands between the outermost braces
    NAG,               // text: "$12", or a free-standing "!", "?!", ...
    RESULT,            // text: "1-0", "0-1", "1/2-1/2" or "*"
    VARIATION_START,   // "(": variation_depth is the depth inside
    VARIATION_END,     // ")": variation_depth is the depth outside
};

struct Token {
    TokenKind kind;
    std::string_view text;
    int variation_depth;     // 0 on the main line
};

// Splits movetext lines into tokens. Comments ("{...}", nested braces
// allowed, several lines long; ";" to the end of the line) and variations
// ("(...)", nested) keep their depths across lines. Move numbers ("12.",
// "12...") are dropped, also when glued to the move ("12...Nf6"); "0-0" and
// "O-O" are moves; a line starting with "%" is skipped.
class Lexer {
public:
    // Tokens of one line (without its line end) into `out`, which is
    // cleared first. The texts stay valid until the next call. A comment
    // still open reads the line end as a blank; `line_ended` false (a piece
    // of a longer line) joins the next piece to its text directly.
    void lex_line(std::string_view line, std::vector<Token>& out, bool line_ended = true);
    // A new game: open comments and variations are forgotten.
    void reset();
    int comment_depth() const { return comment_depth_; }
    int variation_depth() const { return variation_depth_; }

private:
    void word(std::string_view w, std::vector<Token>& out);
    int comment_depth_ = 0;
    int variation_depth_ = 0;
    // The text of a comment open at a line's end: read by the next line,
    // kept while that line's tokens are in use.
    std::string carry_in_, carry_out_;
};

struct GameMove {
    std::string text;              // as written, e.g. "Nf3+", "O-O", "e8=Q"
    std::string comment;           // comments after the move, joined by a blank
    bool has_comment = false;
    size_t last_comment = 0;       // where the last of those comments starts in `comment`
    std::string nags;              // NAGs and marks after the move, joined by a blank
    Move move = NO_MOVE;           // set by replay()
};

struct Game {
    std::vector<std::string> tag_lines;   // as read, without line ends
    std::string fen;                      // the "FEN" tag, empty when absent
    std::string result_tag;               // the "Result" tag, empty when absent
    std::string result;                   // the result token ending the movetext
    std::string comment_before;           // comments before the first move
    std::vector<GameMove> moves;          // the main line
    int variation_moves = 0;              // moves read inside variations
    bool truncated = false;               // moves past the reader's limit were dropped
    bool comment_unterminated = false;    // the file ended inside a comment
    // The value of a tag; empty when absent.
    std::string tag(std::string_view name) const;
};

// Reads a file game by game. A game is its tag lines and the movetext after
// them; it ends at its result token, at the next tag line after movetext,
// or at the end of the file.
class GameReader {
public:
    // `max_chars`: the longest line piece (longer lines are cut into pieces,
    // see LineReader). `max_plies`: main-line moves kept per game.
    GameReader(std::FILE* file, size_t max_chars, size_t max_plies);
    // False when the file holds no further game.
    bool next(Game& game);

private:
    void take_tag_line(std::string_view line, Game& game);
    bool take_tokens(Game& game, bool& in_movetext);
    LineReader lines_;
    Lexer lexer_;
    size_t max_plies_;
    std::vector<Token> tokens_;
    size_t next_token_ = 0;        // tokens after a result wait for the next game
    std::vector<Tag> tags_;
    std::string held_tag_line_;    // a tag line that began the next game
    bool holding_tag_ = false;
};

// A position that moves can be generated and played in: one king per side,
// no pawn on the first or last rank, the side not to move not in check.
bool is_playable(const Position& pos);

// Sets `pos` (whose owner holds its history) to the game's start: its FEN
// tag with its halfmove clock, else the standard start position. False
// when that position is not playable or the tag puts a pawn on the first or
// last rank.
bool set_start_position(const Game& game, Position& pos);

// The legal move of the side to move written as `text`: SAN (check marks,
// "!"/"?" marks, "x" and "=" optional), "O-O"/"0-0" castling (Chess960
// too) or coordinates ("e2e4", "e7e8q"; castling also king-takes-rook).
// NO_MOVE when no legal move or more than one matches.
Move decode_move(const Position& pos, std::string_view text);

// From the game's start, decodes and plays the main-line moves in order,
// storing each one in its GameMove. Returns how many were played: it stops
// at the first move that does not decode, and -1 when the start position is
// unusable. `pos` is left after the last move played; at most `max_plies`
// moves are played (keep it below HISTORY_CAPACITY).
int replay(Game& game, Position& pos, int max_plies);

} // namespace zelk::pgn
