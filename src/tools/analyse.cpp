#include "tools/analyse.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/notation.h"
#include "search/perft.h"
#include "core/position.h"
#include "search/control.h"
#include "io/output.h"
#include "search/info.h"
#include "search/result.h"
#include "search/thread.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "tools/epd.h"
#include "tools/offline_search.h"

namespace zelk {

namespace {

constexpr size_t LINE_LIMIT = 511;   // characters of an input line

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// The next line of `f` without its line end: true, or false at the end of
// the file. A line longer than LINE_LIMIT is read to its end and comes back
// empty, so that its tail is never taken for a line of its own.
bool read_line(FILE* f, char (&line)[LINE_LIMIT + 2]) {
    if (!std::fgets(line, int(LINE_LIMIT + 1), f))
        return false;
    const size_t n = std::strlen(line);
    if (n == LINE_LIMIT && line[n - 1] != '\n') {
        const int next = std::fgetc(f);
        if (next != '\n' && next != EOF) {
            for (int c = next; c != '\n' && c != EOF;)
                c = std::fgetc(f);
            line[0] = 0;
        }
    }
    line[std::strcspn(line, "\r\n")] = 0;
    return true;
}

std::vector<std::string> split(const std::string& text, const char* separators) {
    std::vector<std::string> words;
    size_t start = text.find_first_not_of(separators);
    while (start != std::string::npos) {
        const size_t end = text.find_first_of(separators, start);
        words.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = text.find_first_not_of(separators, end);
    }
    return words;
}

// The moves of a "bm" or "am" operand that read as legal moves of the game
// position; unreadable words are left out.
std::vector<Move> operand_moves(const std::string& operand) {
    std::vector<Move> moves;
    for (const std::string& word : split(operand, " ,;\"\n")) {
        Move m = NO_MOVE;
        if (parse_move(game->pos, word.c_str(), m) == 1)
            moves.push_back(m);
    }
    return moves;
}

bool contains(const std::vector<Move>& moves, Move m) {
    for (Move x : moves)
        if (x == m)
            return true;
    return false;
}

// A "c0" operand lists move=points: its best points are possible, and the
// engine's move earns its own.
void score_c0(const std::string& c0, Move engine_move, int& possible, int& scored) {
    if (c0.find('=') == std::string::npos)
        return;
    const size_t start = c0.find_first_not_of(" \"");
    bool any = false, found = false;
    int best = 0;
    for (const std::string& word : split(c0.substr(start), ", \"\n")) {
        const size_t eq = word.find('=');
        if (eq == std::string::npos)
            continue;
        const int points = std::atoi(word.c_str() + eq + 1);
        if (!any || points > best)
            best = points;
        any = true;
        Move m = NO_MOVE;
        if (!found && engine_move && parse_move(game->pos, word.substr(0, eq).c_str(), m) == 1 && m == engine_move) {
            scored += points;
            found = true;
        }
    }
    if (any)
        possible += best;
}

struct SuiteTotals {
    int positions = 0, solved = 0;
    int points_possible = 0, points_scored = 0;
    double nodes = 0, seconds = 0, branching = 0, depth = 0;
};

void print_summary(const SuiteTotals& t) {
    // Averages of an empty suite are 0.
    const double n = t.positions > 0 ? t.positions : 1;
    char line[120];
    std::snprintf(line, sizeof line, "%d / %d correct best moves", t.solved, t.positions);
    emit_line(line);
    std::snprintf(line, sizeof line, "total nodes= %0.0f", t.nodes);
    emit_line(line);
    std::snprintf(line, sizeof line, "total time= %0.2f seconds", t.seconds);
    emit_line(line);
    std::snprintf(line, sizeof line, "avg depth= %0.1f", t.depth / n);
    emit_line(line);
    std::snprintf(line, sizeof line, "avg nodes= %0.1f", t.nodes / n);
    emit_line(line);
    std::snprintf(line, sizeof line, "node_rate= %0.0f", t.seconds > 0 ? t.nodes / t.seconds : 0.0);
    emit_line(line);
    std::snprintf(line, sizeof line, "avg bf= %0.2f", t.branching / n);
    emit_line(line);
    std::snprintf(line, sizeof line, "score= %d / %d", t.points_scored, t.points_possible);
    emit_line(line);
    emit_line("");
}

} // namespace

void analyse_epd(const char* input_name, const char* output_name) {
    File in(std::fopen(input_name, "r"));
    if (!in)
        return;
    File out(std::fopen(output_name, "w"));
    if (!out)
        return;
    char text[LINE_LIMIT + 80];
    std::snprintf(text, sizeof text, "Analyzing %s...", input_name);
    emit_line(text);
    if (control.depth_limit < 4)
        control.use_hash = 0;
    const bool quiet = control.noise == 9999.0f;

    SuiteTotals t;
    char line[LINE_LIMIT + 2];
    while (!control.quit_flag && read_line(in.get(), line)) {
        if (line[0] == ' ' || line[0] == '#' || line[0] == ';' || std::strlen(line) < 10)
            continue;
        EpdLine epd;
        if (parse_epd_line(line, epd) != 0)
            continue;
        Position& pos = game->pos;
        pos_from_fen(pos, epd.position.c_str());
        // Text that sets up no king of one side is not a position.
        if (pos.king_sq[WHITE] == NO_SQUARE || pos.king_sq[BLACK] == NO_SQUARE)
            continue;
        ++t.positions;
        if (!quiet) {
            std::snprintf(text, sizeof text, "pos= %d", t.positions);
            emit_line(text);
            emit_line(line);
            show_board(pos);
        }
        tt_clear();   // nothing to do while the table is not used
        search_start();
        // Searches of a depth or two last microseconds: no clock to watch.
        if (control.depth_limit > 2)
            run_offline_search(1);
        else
            run_direct_search();
        clock_update();
        const double seconds = timing.elapsed;
        const double nodes = double(totals.nodes);
        t.nodes += nodes;
        t.seconds += seconds;
        t.branching += effective_branching();
        t.depth += result.completed_depth;

        const Move engine_move = best_move();
        const int score = result.best_score;
        if (!epd.bm.empty()) {
            if (engine_move && contains(operand_moves(epd.bm), engine_move))
                ++t.solved;
        } else if (!epd.am.empty()) {
            if (engine_move && !contains(operand_moves(epd.am), engine_move))
                ++t.solved;
        }
        score_c0(epd.c0, engine_move, t.points_possible, t.points_scored);

        if (!quiet) {
            print_pv_line(0, timing.multipv > 1 ? 1 : 0, result.completed_depth, score, result.pv);
            char forms[4][MOVE_TEXT_SIZE];
            move_to_texts(pos, engine_move, forms[0], forms[1], forms[2], forms[3]);
            std::snprintf(text, sizeof text, "move= %s, time= %0.3f, score= %d, nodes= %0.0f, %0.0fK nps\n", forms[1],
                          seconds, score, nodes, nodes / seconds / 1000);
            emit_line(text);
        }
        if (engine_move) {
            if (epd.gr.empty()) {
                char from[4], to[4];
                square_name(move_from(engine_move), from);
                square_name(move_to(engine_move), to);
                std::fprintf(out.get(), "%s bm %s%s; ce %d;\n", epd.position.c_str(), from, to, score);
            } else {
                std::fprintf(out.get(), "%s sc %d;\n", line, score);
            }
        }
    }
    print_summary(t);
}

} // namespace zelk
