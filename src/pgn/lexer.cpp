#include "pgn/pgn.h"

namespace zelk::pgn {

namespace {

bool is_separator(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u <= ' ' || u == 127 || c == '{' || c == '}' || c == '(' || c == ')' || c == ';';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_mark(char c) { return c == '!' || c == '?'; }

} // namespace

void Lexer::reset() {
    comment_depth_ = 0;
    variation_depth_ = 0;
    carry_in_.clear();
    carry_out_.clear();
}

// One blank-delimited word outside comments.
void Lexer::word(std::string_view w, std::vector<Token>& out) {
    while (!w.empty()) {
        const char c = w[0];
        if (c == '$' || is_mark(c)) {
            out.push_back({TokenKind::NAG, w, variation_depth_});
            return;
        }
        if (w == "1-0" || w == "0-1" || w == "1/2-1/2" || w == "*") {
            out.push_back({TokenKind::RESULT, w, variation_depth_});
            return;
        }
        if (is_letter(c) || w.starts_with("0-0")) {
            size_t end = w.size();
            while (end > 1 && is_mark(w[end - 1]))
                --end;
            out.push_back({TokenKind::MOVE, w.substr(0, end), variation_depth_});
            if (end < w.size())
                out.push_back({TokenKind::NAG, w.substr(end), variation_depth_});
            return;
        }
        if (!is_digit(c))
            return;
        // A move number, perhaps glued to its move.
        size_t i = 0;
        while (i < w.size() && is_digit(w[i]))
            ++i;
        if (i == w.size() || w[i] != '.')
            return;
        while (i < w.size() && w[i] == '.')
            ++i;
        w.remove_prefix(i);
    }
}

void Lexer::lex_line(std::string_view line, std::vector<Token>& out, bool line_ended) {
    out.clear();
    // The text of a comment still open at the end of the previous line.
    std::swap(carry_in_, carry_out_);
    carry_out_.clear();
    bool carried = comment_depth_ > 0;
    if (!carried && !line.empty() && line[0] == '%')
        return;

    size_t comment_start = 0;
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
        const char c = line[i];
        if (comment_depth_ > 0) {
            if (c == '{') {
                ++comment_depth_;
            } else if (c == '}' && --comment_depth_ == 0) {
                std::string_view part = line.substr(comment_start, i - comment_start);
                std::string_view text = part;
                if (carried) {
                    carry_in_.append(part);
                    text = carry_in_;
                    carried = false;
                }
                out.push_back({TokenKind::COMMENT, text, variation_depth_});
            }
            ++i;
            continue;
        }
        if (c == '{') {
            comment_depth_ = 1;
            comment_start = ++i;
            continue;
        }
        if (c == ';')
            return;
        if (c == '(') {
            ++variation_depth_;
            out.push_back({TokenKind::VARIATION_START, line.substr(i, 1), variation_depth_});
            ++i;
            continue;
        }
        if (c == ')') {
            if (variation_depth_ > 0)
                --variation_depth_;
            out.push_back({TokenKind::VARIATION_END, line.substr(i, 1), variation_depth_});
            ++i;
            continue;
        }
        if (is_separator(c)) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < n && !is_separator(line[j]))
            ++j;
        word(line.substr(i, j - i), out);
        i = j;
    }
    if (comment_depth_ > 0) {
        // The comment goes on: keep its text, the line end read as a blank.
        if (carried)
            carry_out_ = carry_in_;
        carry_out_.append(line.substr(comment_start));
        if (line_ended)
            carry_out_.push_back(' ');
    }
}

} // namespace zelk::pgn
