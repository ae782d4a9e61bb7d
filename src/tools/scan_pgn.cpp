#include "tools/scan_pgn.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/position.h"
#include "io/output.h"
#include "pgn/pgn.h"
#include "tools/board_record.h"

namespace zelk {

namespace {

constexpr size_t LINE_CHARS = 255;     // characters per read line
constexpr size_t GAME_MOVES = 791;     // moves kept per game
constexpr const char* BEST_MOVE_FILE = "tmpX.epd";

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool contains(std::string_view text, const char* part) { return text.find(part) != std::string_view::npos; }

struct Scan {
    int mode = 2;
    std::FILE* out = nullptr;
    std::FILE* best = nullptr;   // mode 1's best-move lines
    int games = 0;          // counted at their "Result" tag unless abandoned before it
    int game_index = 0;     // every game read, for mode 1's game tag
    int positions = 0;
    std::vector<int> scores;
    char fen[FEN_BUFFER_SIZE];
};

void print_line(const char* format, int value) {
    char line[64];
    std::snprintf(line, sizeof line, format, value);
    emit_line(line);
}

// The tag lines: mode 1 copies them; the game count, the progress line and
// the abandon mark. Returns whether the game was abandoned.
bool read_tags(Scan& s, const pgn::Game& g) {
    bool abandoned = false;
    for (const std::string& line : g.tag_lines) {
        if (s.mode == 1) {
            std::fprintf(s.out, "%s\n", line.c_str());
            if (contains(line, "Round "))
                std::fprintf(s.out, "[Tag \"game_%d\"]\n", s.game_index);
        }
        if (contains(line, "Result ") && !abandoned && ++s.games % 100 == 0)
            print_line("game %d", s.games);
        if (contains(line, "unterminated") || contains(line, "time forfeit") || contains(line, "abandoned"))
            abandoned = true;
    }
    return abandoned;
}

// The white result: 1.0, 0.0, or 0.5 for anything else.
double white_result(const pgn::Game& g) {
    const std::string& r = g.result_tag.empty() ? g.result : g.result_tag;
    if (r.starts_with("1-0"))
        return 1.0;
    if (r.starts_with("0-1"))
        return 0.0;
    return 0.5;
}

bool in_check(const Position& pos) {
    const int k = pos.king_sq[pos.side];
    return k != NO_SQUARE && is_attacked(pos, k, pos.side ^ 1);
}

// Mode 1: s(k) is the score of the move k plies after ply i.
bool is_mistake(const std::vector<int>& sc, size_t i) {
    const size_t n = sc.size();
    if (i < 12 || i + 10 >= n)
        return false;
    const int before = sc[i - 1];
    if (before < -999 || before > 249 || sc[i + 7] <= -1000)
        return false;
    const int margin = std::abs(before) / 10;
    return sc[i + 1] - before > 30 + margin && sc[i + 3] - before > 30 + margin && sc[i + 7] - before > 50 + margin;
}

void write_listing_line(Scan& s, const pgn::GameMove& m, int ply_number, bool white_moved, const char* mark,
                        int score) {
    char number[16] = "     ";
    if (white_moved)
        std::snprintf(number, sizeof number, "%3d. ", ply_number / 2 + 1);
    char value[32] = "";
    if (score >= -9999)
        std::snprintf(value, sizeof value, "%6.2f", score / 100.0);
    std::fprintf(s.out, "%s %-6s%s{%s}\n", number, m.text.c_str(), mark, value);
}

void write_game(Scan& s, pgn::Game& g, Position& pos) {
    if (!pgn::set_start_position(g, pos))
        return;
    const size_t n = g.moves.size();
    const int first_side = pos.side;
    s.scores.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const pgn::GameMove& m = g.moves[i];
        const bool black_moved = (first_side ^ int(i & 1)) == BLACK;
        s.scores[i] = m.has_comment ? comment_score(std::string_view(m.comment).substr(m.last_comment), black_moved)
                                    : SCORE_NO_COMMENT;
    }
    const double result = white_result(g);
    bool best_pending = false;
    for (size_t i = 0; i < n; ++i) {
        if ((s.mode == 2 && i + 4 >= n) || (s.mode == 3 && i >= 201))
            break;
        const pgn::GameMove& gm = g.moves[i];
        const Move m = pgn::decode_move(pos, gm.text);
        if (m == NO_MOVE)
            break;
        const int score = s.scores[i];
        const bool white_to_move = pos.side == WHITE;
        switch (s.mode) {
        case 1: {
            const char* mark = "  ";
            const bool mistake = is_mistake(s.scores, i);
            if (best_pending && score >= -9999) {
                mark = " ! ";
                pos_to_fen(pos, s.fen, false);
                std::fprintf(s.best, "%s bm %s;\n", s.fen, gm.text.c_str());
                write_listing_line(s, gm, int(i) + (first_side == BLACK), white_to_move, mark, score);
                std::fprintf(s.out, "%s bm %s;\n", s.fen, gm.text.c_str());
                ++s.positions;
            } else if (mistake) {
                pos_to_fen(pos, s.fen, false);
                write_listing_line(s, gm, int(i) + (first_side == BLACK), white_to_move, " ? ", score);
                std::fprintf(s.out, "%s am %s;\n", s.fen, gm.text.c_str());
                ++s.positions;
            } else {
                write_listing_line(s, gm, int(i) + (first_side == BLACK), white_to_move, mark, score);
            }
            best_pending = mistake;
            break;
        }
        case 2:
            if (i < 20 && score == 0)
                break;
            if (i < 280 && pos.halfmove < 26 && score >= -19999 && score <= 19999 && !in_check(pos)) {
                pos_to_fen(pos, s.fen, false);
                std::fprintf(s.out, "%s ce %d; gr %0.1f;\n", s.fen, score, white_to_move ? result : 1.0 - result);
                ++s.positions;
            }
            break;
        case 3:
            if (!in_check(pos)) {
                pos_to_fen(pos, s.fen, false);
                std::fprintf(s.out, "%s bm %s; ce %d;\n", s.fen, gm.text.c_str(), score);
                ++s.positions;
            }
            break;
        default:
            // Rook and one pawn against rook: each side's non-pawn material
            // is exactly one rook, and one pawn stands on the board.
            if (pos.npm[WHITE] == 5 && pos.npm[BLACK] == 5 && (pos.mat_sig[WHITE] & 15) + (pos.mat_sig[BLACK] & 15) == 1) {
                pos_to_fen(pos, s.fen, false);
                const double win = 1.0 / (1.0 + std::exp(-0.006 * score));
                std::fprintf(s.out, "%s bm %s; ce %d; tune %0.5f;\n", s.fen, gm.text.c_str(), score, win);
                ++s.positions;
            }
            break;
        }
        make_move(pos, m);
        if (s.mode == 3 && std::abs(score) > 500)
            break;
    }
}

} // namespace

int comment_score(std::string_view comment, bool black_moved) {
    if (contains(comment, "book"))
        return 0;
    if (size_t at = comment.find("eval "); at != std::string_view::npos) {
        std::string_view rest = comment.substr(at + 5);
        rest = rest.substr(0, rest.find(','));
        if (rest.empty())
            return SCORE_UNREADABLE;
        const int value = std::atoi(std::string(rest).c_str());
        return black_moved ? -value : value;
    }
    const size_t slash = comment.find('/');
    if (slash == std::string_view::npos)
        return SCORE_UNREADABLE;
    const size_t blank = comment.find_last_of(" \t\n", slash);
    std::string_view word = comment.substr(blank == std::string_view::npos ? 0 : blank + 1);
    word = word.substr(0, word.find('/'));
    if (word.starts_with("-M"))
        return -9000;
    if (word.starts_with("+M"))
        return 9000;
    return int(std::lround(std::atof(std::string(word).c_str()) * 100.0));
}

void scan_pgn(const char* input_name, const char* output_name, int mode) {
    File in(std::fopen(input_name, "r"));
    File out(in ? std::fopen(output_name, "w") : nullptr);
    const bool same_best = std::strcmp(output_name, BEST_MOVE_FILE) == 0;
    File best(out && !same_best ? std::fopen(BEST_MOVE_FILE, "w") : nullptr);
    if (!in || !out || (!best && !same_best)) {
        char line[200];
        std::snprintf(line, sizeof line, "info string cannot open %.150s",
                      !in ? input_name : !out ? output_name : BEST_MOVE_FILE);
        emit_line(line);
        return;
    }
    set_logging(false);
    static char buffer[1 << 20];
    std::setvbuf(out.get(), buffer, _IOFBF, sizeof buffer);

    Scan s;
    s.mode = mode;
    s.out = out.get();
    s.best = same_best ? out.get() : best.get();
    BoardRecord board;
    pgn::GameReader reader(in.get(), LINE_CHARS, GAME_MOVES);
    pgn::Game game;
    while (reader.next(game)) {
        ++s.game_index;
        if (read_tags(s, game))
            continue;
        write_game(s, game, board.pos());
    }
    std::fputc('\n', s.out);
    char line[96];
    std::snprintf(line, sizeof line, "games= %d, positions= %d", s.games, s.positions);
    emit_line(line);
}

} // namespace zelk
