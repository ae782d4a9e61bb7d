#include "pgn/pgn.h"

namespace zelk::pgn {

namespace {

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

void append_with_blank(std::string& to, std::string_view text) {
    if (!to.empty())
        to.push_back(' ');
    to.append(text);
}

} // namespace

bool is_tag_line(std::string_view line) { return line.size() >= 2 && line[0] == '[' && is_letter(line[1]); }

void parse_tags(std::string_view line, std::vector<Tag>& out) {
    out.clear();
    size_t i = 0;
    const size_t n = line.size();
    for (;;) {
        while (i < n && line[i] != '[')
            ++i;
        if (i == n)
            return;
        const size_t name_start = ++i;
        while (i < n && (is_letter(line[i]) || (line[i] >= '0' && line[i] <= '9') || line[i] == '_'))
            ++i;
        const std::string_view name = line.substr(name_start, i - name_start);
        while (i < n && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (name.empty() || i == n || line[i] != '"')
            return;
        const size_t value_start = ++i;
        while (i < n && line[i] != '"')
            i += (line[i] == '\\' && i + 1 < n) ? 2 : 1;
        if (i >= n)
            return;
        out.push_back({name, line.substr(value_start, i - value_start)});
        ++i;
    }
}

std::string Game::tag(std::string_view name) const {
    std::vector<Tag> tags;
    for (const std::string& line : tag_lines) {
        parse_tags(line, tags);
        for (const Tag& t : tags)
            if (t.name == name)
                return std::string(t.value);
    }
    return {};
}

GameReader::GameReader(std::FILE* file, size_t max_chars, size_t max_plies)
    : lines_(file, max_chars), max_plies_(max_plies) {}

void GameReader::take_tag_line(std::string_view line, Game& game) {
    game.tag_lines.emplace_back(line);
    parse_tags(line, tags_);
    for (const Tag& t : tags_) {
        if (t.name == "FEN")
            game.fen.assign(t.value);
        else if (t.name == "Result")
            game.result_tag.assign(t.value);
    }
    lexer_.reset();
}

// Takes the tokens of the current line from `next_token_` on. True when a
// result token ended the game.
bool GameReader::take_tokens(Game& game, bool& in_movetext) {
    while (next_token_ < tokens_.size()) {
        const Token& t = tokens_[next_token_++];
        in_movetext = true;
        if (t.kind == TokenKind::VARIATION_START || t.kind == TokenKind::VARIATION_END || t.variation_depth > 0) {
            game.variation_moves += t.kind == TokenKind::MOVE;
            continue;
        }
        switch (t.kind) {
        case TokenKind::MOVE:
            if (game.moves.size() < max_plies_) {
                game.moves.emplace_back();
                game.moves.back().text.assign(t.text);
            } else {
                game.truncated = true;
            }
            break;
        case TokenKind::COMMENT:
            if (game.truncated)
                break;
            if (game.moves.empty()) {
                append_with_blank(game.comment_before, t.text);
            } else {
                GameMove& m = game.moves.back();
                if (m.has_comment)
                    m.comment.push_back(' ');
                m.last_comment = m.comment.size();
                m.comment.append(t.text);
                m.has_comment = true;
            }
            break;
        case TokenKind::NAG:
            if (!game.moves.empty() && !game.truncated)
                append_with_blank(game.moves.back().nags, t.text);
            break;
        case TokenKind::RESULT:
            game.result.assign(t.text);
            return true;
        default:
            break;
        }
    }
    return false;
}

bool GameReader::next(Game& game) {
    game.tag_lines.clear();
    game.fen.clear();
    game.result_tag.clear();
    game.result.clear();
    game.comment_before.clear();
    game.moves.clear();
    game.variation_moves = 0;
    game.truncated = false;
    game.comment_unterminated = false;

    bool in_movetext = false;
    bool any = false;
    if (holding_tag_) {
        holding_tag_ = false;
        take_tag_line(held_tag_line_, game);
        any = true;
    }
    if (take_tokens(game, in_movetext))
        return true;
    any = any || in_movetext;
    std::string_view line;
    while (lines_.next(line)) {
        if (is_tag_line(line)) {
            if (in_movetext) {
                held_tag_line_.assign(line);
                holding_tag_ = true;
                return true;
            }
            take_tag_line(line, game);
            any = true;
            continue;
        }
        lexer_.lex_line(line, tokens_, lines_.line_ended());
        next_token_ = 0;
        any = any || !tokens_.empty();
        if (take_tokens(game, in_movetext))
            return true;
    }
    game.comment_unterminated = lexer_.comment_depth() > 0;
    return any;
}

} // namespace zelk::pgn
