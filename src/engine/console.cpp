// The console language: a person's commands, typed moves and game handling.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/notation.h"
#include "search/perft.h"
#include "engine/setup.h"
#include "search/control.h"
#include "search/strength.h"
#include "engine/game.h"
#include "engine/game_files.h"
#include "engine/input.h"
#include "engine/interpreter.h"
#include "engine/opening_book.h"
#include "engine/options.h"
#include "io/output.h"
#include "eval/evaluate.h"
#include "eval/hce.h"
#include "search/search.h"
#include "core/see.h"
#include "search/thread.h"
#include "search/trace.h"
#include "search/tt.h"

namespace zelk {

namespace {

// The board after a command, with the evaluation first when debugging.
void display() {
    if (setup.eval_debug)
        show_eval(*game);
    show_board(game->pos);
}

int to_int(const std::string& s) { return std::atoi(s.c_str()); }

void emit_format(const char* format, auto... args) {
    char line[512];
    std::snprintf(line, sizeof line, format, args...);
    emit_line(line);
}

void take_back() {
    if (game->history_count >= 1)
        game_unmake_move();
}

// Plays the move the history holds at the current ply, if any (and if it
// still fits the position: the history may outlive the game it came from).
bool redo(bool announce) {
    const Move m = game->history[game->history_count].move;
    if (!m || !game_move_is_legal(m))
        return false;
    if (announce) {
        char text[MOVE_TEXT_SIZE];
        move_to_coord(game->pos, game->pos.side, m, text);
        const int ply = game->history_count;
        emit_format("%d%s move %s", ply / 2 + 1, game->pos.side == WHITE ? "." : "...", text);
    }
    game_make_move(m);
    return true;
}

void play_typed_move(const std::string& word) {
    Move m = NO_MOVE;
    if (!parse_move(game->pos, word.c_str(), m)) {
        char from[3], to[3];
        square_name(move_from(m), from);
        square_name(move_to(m), to);
        std::printf("invalid: %s%s\n", from, to);
        return;
    }
    emit_format("%d. move %s", game->history_count / 2 + 1, word.c_str());
    game_make_move(m);
    // A new move starts a new line: the old continuation can no longer be redone.
    game->history[game->history_count] = UndoRecord{};
    display();
}

void perft_command(int depth) {
    depth = depth < 0 ? 0 : depth > 20 ? 20 : depth;
    game->nodes = 0;
    const auto start = std::chrono::steady_clock::now();
    perft(*game, game->pos.side, 1, depth);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double nodes = double(game->nodes);
    emit_format("visited %0.0f nodes in %0.3f seconds, nps= %0.0f", nodes, seconds, nodes / (seconds + 0.001));
}

// "level moves time inc": time is minutes:seconds or plain seconds.
void set_level(const std::vector<std::string>& w) {
    control.time_control_moves = uint8_t(w.size() > 2 ? to_int(w[2]) : 0);
    float seconds = 0;
    if (w.size() > 3) {
        const size_t colon = w[3].find(':');
        seconds = colon == std::string::npos
                      ? float(std::atof(w[3].c_str()))
                      : float(std::atoi(w[3].c_str()) * 60 + std::atoi(w[3].c_str() + colon + 1));
    }
    control.time_per_move = control.clock_white = control.clock_black = seconds;
    control.increment = w.size() > 4 ? float(std::atof(w[4].c_str())) : 0.0f;
    emit_format("set level to %d moves in %0.2f seconds, inc %0.2f", control.time_control_moves,
                double(control.time_per_move), double(control.increment));
}

void set_command(const std::vector<std::string>& w) {
    if (w.size() < 2)
        return;
    const std::string& name = w[1];
    const std::string value = w.size() > 2 ? w[2] : "";
    const int n = to_int(value);
    if (name == "hash")
        control.use_hash = uint8_t(n);
    else if (name == "noise")
        control.noise = float(std::atof(value.c_str()));
    else if (name.find("multipv") != std::string::npos)
        search_settings.MultiPV = int16_t(n);
    else if (name == "debug")
        setup.eval_debug = uint8_t(n);
    else if (name == "frc")
        notation_style.chess960 = uint8_t(n);
    else if (name == "level")
        set_level(w);
    else if (name == "depth")
        control.depth_limit = int8_t(n > DEPTH_UNLIMITED ? DEPTH_UNLIMITED : n < -128 ? -128 : n);
    else if (name == "target_nps") {
        const double nps = std::atof(value.c_str());
        search_settings.UCI_LimitStrength = 1;
        search_settings.UCI_Elo = int16_t(elo_for_node_rate(nps));
        emit_format("target_nps set to %.0f", nps);
    } else if (name == "ss") {
        if (n == 1) {
            restore_saved_options();
            emit_line("set default personality");
        } else {
            search_settings.SEP_depth = 0;
            search_settings.LMP_depth = 0;
            search_settings.NMP_depth = 99;
            search_settings.LMR_depth = 99;
            emit_line("selectivity set to OFF");
        }
    }
    struct Field {
        const char* name;
        int16_t* field;
    };
    const Field fields[] = {{"NMP_depth", &search_settings.NMP_depth}, {"SEP_depth", &search_settings.SEP_depth},
                            {"FP_depth", &search_settings.FP_depth},   {"LMP_depth", &search_settings.LMP_depth},
                            {"LMR_depth", &search_settings.LMR_depth}, {"Selectivity", &search_settings.Selectivity},
                            {"ponder", &search_settings.Ponder}};
    for (const Field& f : fields)
        if (name == f.name) {
            *f.field = int16_t(n);
            emit_format("%s set to %d", f.name, n);
        }
}

// "swap": the exchange value of every attacked piece.
void swap_command() {
    const Position& pos = game->pos;
    for (int sq = 0; sq < 64; ++sq) {
        const int code = pos.board[sq];
        if (!code || !is_attacked(pos, sq, colour_of(code) ^ 1))
            continue;
        char name[3];
        square_name(sq, name);
        std::printf("sq= %s, swap1= %4d\n", name, see(pos, colour_of(code) ^ 1, sq, type_of(code), occupancy(pos)));
    }
}

// "pv": the line stored in the hash table, in short algebraic notation.
void pv_command() {
    Move pv[PV_SIZE + 2] = {};
    pv_from_table(*game, 1, pv);
    std::string text;
    int made = 0;
    game_make_room(PV_SIZE);   // every move of the line can be taken back
    for (int i = 1; i <= PV_SIZE && pv[i]; ++i, ++made) {
        char forms[4][MOVE_TEXT_SIZE];
        move_to_texts(game->pos, pv[i], forms[0], forms[1], forms[2], forms[3]);
        text += std::string(forms[1]) + " ";
        game_make_move(pv[i]);
    }
    std::printf("PV: %s\n\n", text.c_str());
    show_board(game->pos);
    while (made-- > 0)
        game_unmake_move();
}

// "lmr" and "_show": the pruning parameters and reduction tables.
void search_params_command() {
    set_search_params();
    std::printf("FP_depth= %d, margins=", params.FP_depth);
    for (int d = 1; d <= params.FP_depth; ++d)
        std::printf(" %d", params.FP_margin[d]);
    std::printf("\nSEP_depth= %d, margins=", params.SEP_depth);
    for (int d = 1; d <= params.SEP_depth; ++d)
        std::printf(" %d", params.SEP_margin[d]);
    std::printf("\nNMP_depth= %d\n", params.NMP_depth);
    std::printf("LMP_depth= %d, count=", params.LMP_depth);
    for (int d = 1; d <= params.LMP_depth; ++d)
        std::printf(" %d", params.LMP_count[d]);
    std::printf("\nLMR_depth= %d\nLMR table:\n", params.LMR_depth);
    for (int row = 1; row < 32; ++row) {
        std::printf("%2d  ", row);
        for (int m = 0; m < 32; ++m)
            std::printf("%d ", params.lmr[row][m]);
        std::printf("\n");
    }
    std::printf("\n");
    for (int row = 1; row < 32; ++row) {
        std::printf("%2d  ", row);
        for (int m = 0; m < 32; ++m)
            std::printf("%d ", params.lmr[row][m] > 0 ? params.lmr[row][m] + 1 : 0);
        std::printf("\n");
    }
}

} // namespace

void show_search_params() { search_params_command(); }

void console_command(const std::string& line) {
    std::vector<std::string> w;
    {
        std::istringstream in(line);
        std::string word;
        while (w.size() < 10 && in >> word)
            w.push_back(word.substr(0, 127));
    }
    if (w.empty())
        return;
    const std::string& c = w[0];
    if (c == "quit") {
        stop_and_wait();
        control.quit_flag = 1;
        return;
    }
    if (c == ".") {
        control.stop_flag = 1;
        return;
    }
    if (control.search_state.load() != STATE_IDLE)
        return;
    const int arg = w.size() > 1 ? to_int(w[1]) : 0;
    if (c == "new") {
        pos_from_fen(game->pos, START_FEN);
        display();
        control.clock_white = control.clock_black = control.time_per_move;
        control.strength_seed = next_strength_seed(control.strength_seed);
    } else if (c == "fen") {
        const size_t at = line.find("fen");
        pos_from_fen(game->pos, at + 4 <= line.size() ? line.c_str() + at + 4 : "");
        display();
    } else if (c == "mv") {
        control.search_state = STATE_SEARCH_REQUESTED;
    } else if (c == "go" || c == "an") {
        control.time_control_moves = 1;
        control.time_per_move = 99999.0f;
        control.depth_limit = int8_t(arg >= 1 && arg <= 65 ? arg : DEPTH_UNLIMITED);
        if (control.use_hash < 2)
            tt_clear();
        control.search_state = STATE_SEARCH_REQUESTED;
    } else if (c == "self") {
        control.search_state = STATE_SEARCH_REQUESTED;
        search_settings.Ponder = 0;
        setup.self_play = 1;
    } else if (c == "get") {
        get_test_position(w.size() > 1 ? w[1].c_str() : "");
        display();
        tt_clear();
    } else if (c == "pv") {
        pv_command();
    } else if (c == "ev") {
        show_eval(*game);
    } else if (c == "sp") {
        hce_evaluate(*game, game->pos.side, 1, 0, 2);
    } else if (c == "lmr") {
        search_params_command();
    } else if (c == "swap") {
        swap_command();
    } else if (c == "trace") {
        set_trace_level(arg);
    } else if (c == "undo" || c == "[") {
        take_back();
        display();
    } else if (c == "]") {
        redo(true);
        display();
    } else if (c == "load") {
        load_game(w.size() > 1 ? w[1].c_str() : "", w.size() > 2 ? w[2].c_str() : "");
        control.clock_white = control.clock_black = control.time_per_move;
    } else if (c == "save") {
        save_game();
    } else if (c == "jump") {
        while (game->history_count > 0)
            take_back();
        while (game->history_count < (arg - 1) * 2 && redo(false)) {
        }
        display();
    } else if (c == "edit") {
        edit_position();
    } else if (c == "book") {
        book_command();
    } else if (c == "tag") {
        control.trace_key = game->pos.key;
    } else if (c == "perft") {
        perft_command(arg);
    } else if (c == "set") {
        set_command(w);
    } else if (c == "bd") {
        display();
    } else if (c == "move") {
        if (w.size() > 1)
            play_typed_move(w[1]);
    } else {
        play_typed_move(c);
    }
}

} // namespace zelk
