#include "tools/tune_data.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/position.h"
#include "io/output.h"
#include "pgn/pgn.h"
#include "search/control.h"
#include "search/result.h"
#include "search/thread.h"
#include "search/timeman.h"
#include "tablebase/tbcore.h"
#include "tools/board_record.h"
#include "tools/epd.h"
#include "tools/offline_search.h"

namespace zelk {

namespace {

constexpr size_t LINE_CHARS = 253;
constexpr int NO_CE = -9999;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct TuneTotals {
    int read = 0;            // EPD lines taken
    int inconsistent = 0;    // dropped by the annotation check
    int in_check = 0;
    int searched = 0;
    int disagreeing = 0;     // dropped after the search
    int written = 0;
};

// Plays the principal variation on `board` (set to the searched position);
// returns the number of plies played.
int play_out_pv(Position& board) {
    int plies = 0;
    for (int i = 1; i <= MAX_PLY && result.pv[i]; ++i) {
        const Move m = result.pv[i];
        if (!is_pseudo_legal(board, m) || !is_legal(board, board.side, m))
            break;
        make_move(board, m);
        ++plies;
    }
    return plies;
}

void print_totals(const TuneTotals& t) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "positions= %d, inconsistent= %d, in check= %d, searched= %d, disagreeing= %d, written= %d", t.read,
                  t.inconsistent, t.in_check, t.searched, t.disagreeing, t.written);
    emit_line(line);
}

} // namespace

double win_probability(int score) { return 1.0 / (1.0 + std::exp(-0.006 * score)); }

bool is_inconsistent(int ce, double game_result) {
    const double p = win_probability(ce);
    if (game_result == 1.0)
        return p < 0.3;
    if (game_result == 0.0)
        return p > 0.7;
    if (game_result == 0.5)
        return p < 0.15 || p > 0.85;
    return false;
}

bool search_agrees(int search_score, double game_result) {
    const double q = win_probability(search_score);
    if (game_result < 0.5)
        return q <= 0.85;
    if (game_result == 0.5)
        return q >= 0.15 && q <= 0.85;
    return q >= 0.15;
}

int tablebase_adjusted(int score, int root_result) {
    if (root_result < 0)
        return score;
    if (root_result == 4)
        return (score + 9800) / 2;
    if (root_result == 0)
        return (score - 9800) / 2;
    return score / 2;
}

void make_tuning_data(const char* input_name, const char* output_name, int variant, const char* tb_path) {
    if (std::strcmp(input_name, output_name) == 0)
        return;
    File in(std::fopen(input_name, "r"));
    File out(in ? std::fopen(output_name, "w") : nullptr);
    char text[400];
    if (!in || !out) {
        std::snprintf(text, sizeof text, "info string cannot open %.150s", !in ? input_name : output_name);
        emit_line(text);
        return;
    }
    std::snprintf(text, sizeof text, "Creating file %s", output_name);
    emit_line(text);
    if (control.depth_limit < 3)
        control.use_hash = 0;
    control.noise = 99999.0f;
    // Variant 2 resolves roots in the tablebases: each search's root probe
    // then sets result.root_tb_result.
    if (variant == 2)
        tb::init_tablebases(tb_path);

    BoardRecord board;
    pgn::LineReader lines(in.get(), LINE_CHARS);
    std::string_view piece;
    std::string line;
    TuneTotals t;
    while (!control.quit_flag && lines.next(piece)) {
        if (piece.empty() || piece[0] == ' ' || piece[0] == '#' || piece[0] == ';')
            continue;
        line.assign(piece);
        EpdLine epd;
        if (parse_epd_line(line.c_str(), epd) != 0 || epd.position.empty())
            continue;
        ++t.read;
        const int ce = epd.ce.empty() ? NO_CE : std::atoi(epd.ce.c_str());
        const bool has_result = !epd.gr.empty();
        const double game_result = has_result ? std::atof(epd.gr.c_str()) : 0.5;
        if (!epd.ce.empty() && has_result && is_inconsistent(ce, game_result)) {
            ++t.inconsistent;
            continue;
        }
        Position& pos = game->pos;
        pos_from_fen(pos, epd.position.c_str());
        if (!pgn::is_playable(pos)) {
            emit_line(line.c_str());
            break;
        }
        if (is_attacked(pos, pos.king_sq[pos.side], pos.side ^ 1)) {
            ++t.in_check;
            continue;
        }
        search_start();
        // Searches of a depth or two last microseconds: no clock to watch.
        if (control.depth_limit >= 3)
            run_offline_search(1);
        else
            run_direct_search();
        ++t.searched;
        if (t.searched % 4096 == 0) {
            std::snprintf(text, sizeof text, " n= %d", t.searched);
            emit_line(text);
        }
        const int s = tablebase_adjusted(result.best_score, result.root_tb_result);

        int plies = 0;
        if (variant == 1) {
            pos_from_fen(board.pos(), epd.position.c_str());
            plies = play_out_pv(board.pos());
            pos_to_fen(board.pos(), text, false);
        }
        const bool flipped = plies % 2 == 1;
        const char* position = variant == 1 ? text : epd.position.c_str();
        if (!has_result) {
            if (variant == 1 && !epd.ce.empty())
                std::fprintf(out.get(), "%s ce %d;\n", position, flipped ? -ce : ce);
            else if (variant == 1)
                std::fprintf(out.get(), "%s %d;\n", position, flipped ? -s : s);
            else
                std::fprintf(out.get(), "%s sc %d;\n", position, s);
            ++t.written;
            continue;
        }
        if (!search_agrees(s, game_result)) {
            ++t.disagreeing;
            continue;
        }
        if (variant == 1 && flipped)
            std::fprintf(out.get(), "%s ce %d; sc %d; gr %0.1f;\n", position, -ce, -s, 1.0 - game_result);
        else
            std::fprintf(out.get(), "%s ce %d; sc %d; gr %0.1f;\n", position, ce, s, game_result);
        ++t.written;
    }
    print_totals(t);
}

} // namespace zelk
