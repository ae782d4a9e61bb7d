// The UCI interpreter.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "engine/setup.h"
#include "search/control.h"
#include "engine/input.h"
#include "engine/interpreter.h"
#include "engine/options.h"
#include "io/output.h"
#include "tools/genfens.h"
#include "search/thread.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace zelk {

namespace {

void print_check_option(const char* name, int value) {
    char line[200];
    std::snprintf(line, sizeof line, "option name %s type check default %s", name, value ? "true" : "false");
    emit_line(line);
}

void print_spin_option(const char* name, int value, int min, int max) {
    char line[200];
    std::snprintf(line, sizeof line, "option name %s type spin default %d min %d max %d", name, value, min, max);
    emit_line(line);
}

void print_string_option(const char* name, const char* value) {
    char line[800];
    std::snprintf(line, sizeof line, "option name %s type string default %s", name, value);
    emit_line(line);
}

void uci_identify() {
    set_protocol_mode(1);
    const EngineOptions& s = saved_options.engine;
    const SearchSettings& ss = saved_options.search;
    emit_line("id name Zelk 5.20");
    emit_line("id author Dovrin");
    print_string_option("ConfigFilePath", s.ConfigFilePath);
    print_spin_option("Hash", ss.Hash, 0, 32768);
    print_spin_option("Threads", ss.Threads, 1, MAX_THREADS);
    emit_line("option name Clear_Hash type button");
    print_string_option("NN_File", options.NN_File);
    print_check_option("Use_NN_eval", eval_settings.Use_NN_eval);
    print_check_option("OwnBook", s.OwnBook);
    print_string_option("OwnBook_File", s.OwnBook_File);
    print_spin_option("OwnBook_Depth", s.OwnBook_Depth, 0, 60);
    print_string_option("OwnBook2_File", s.OwnBook2_File);
    print_spin_option("OwnBook2_Depth", s.OwnBook2_Depth, 0, 60);
    print_spin_option("OwnBook_Variety", s.OwnBook_Variety, 0, 100);
    print_string_option("SyzygyPath", s.SyzygyPath);
    print_spin_option("SyzygyProbeDepth6", ss.SyzygyProbeDepth6, -5, 100);
    print_check_option("Log", s.Log);
    print_check_option("Ponder", ss.Ponder);
    print_spin_option("MultiPV", ss.MultiPV, 1, 255);
    print_check_option("UCI_Chess960", notation_style.chess960);
    print_spin_option("MoveOverhead", ss.MoveOverhead, 0, 5000);
    print_check_option("UCI_LimitStrength", ss.UCI_LimitStrength);
    const int max_elo = int(control.max_elo);
    if (saved_options.search.UCI_Elo == 0)
        saved_options.search.UCI_Elo = int16_t(max_elo);
    print_spin_option("UCI_Elo", saved_options.search.UCI_Elo, 1500, max_elo);
    print_spin_option("Contempt", saved_options.eval.Contempt, -150, 150);
    print_spin_option("Selectivity", ss.Selectivity, 0, 200);
    print_check_option("UCI_ShowWDL", ss.UCI_ShowWDL);
    // The tuning build offers the search constants a tuner sets.
    if (setup.tuning_build)
        for (const TunableSetting& t : TUNABLE_SETTINGS)
            if (std::strcmp(t.name, "Selectivity") != 0)
                print_spin_option(t.name, ss.*t.field, t.min, t.max);
    emit_line("uciok");
}

// "setoption name N [value V]".
void setoption_command(const std::string& args_text) {
    std::string args = args_text;
    const size_t name_at = args.find("name");
    if (name_at == std::string::npos)
        return;
    size_t value_at = args.find("value");
    std::string name, value;
    auto skip_blanks = [&](size_t i) {
        while (i < args.size() && args[i] == ' ')
            ++i;
        return i;
    };
    const size_t name_start = skip_blanks(name_at + 5);
    if (value_at != std::string::npos && value_at > name_at) {
        size_t name_end = value_at;
        while (name_end > name_start && args[name_end - 1] == ' ')
            --name_end;
        if (name_start < name_end)
            name = args.substr(name_start, name_end - name_start);
        const size_t value_start = skip_blanks(value_at + 6);
        if (value_start < args.size())
            value = args.substr(value_start);
    } else {
        if (name_start < args.size())
            name = args.substr(name_start);
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
    }
    if (name.size() > 100)
        name.resize(100);
    if (value.size() > 200)
        value.resize(200);
    set_option(name.c_str(), value.c_str());
}

double keyword_value(const char* args, const char* keyword, bool& found) {
    const char* at = std::strstr(args, keyword);
    found = at != nullptr;
    if (!at)
        return 0;
    const char* value = at + std::strlen(keyword);
    if (*value)
        ++value;
    return std::strtod(first_word(value).c_str(), nullptr);
}

// Every search starts from no depth, node or time-per-move limit and no
// increment but those its "go" names (the depth of "-d" stays).
void clear_limits() {
    control.depth_limit = control.switch_depth_limit;
    control.node_limit = 0;
    control.time_per_move = 10000000.0f;
    control.increment = 0;
}

void go_command(const char* args) {
    // The clock runs from here, not from the start of the search threads.
    const double read_at = monotonic_seconds();
    stop_and_wait();
    clear_limits();
    control.requested_at = read_at;
    control.time_control_moves = 0;
    bool found;
    const int side = game->pos.side;
    double v = keyword_value(args, "wtime", found);
    if (found)
        control.clock_white = float(v < 0 ? 0 : v / 1000);
    v = keyword_value(args, "btime", found);
    if (found)
        control.clock_black = float(v < 0 ? 0 : v / 1000);
    v = keyword_value(args, "winc", found);
    if (found && side == WHITE)
        control.increment = float(v / 1000);
    v = keyword_value(args, "binc", found);
    if (found && side == BLACK)
        control.increment = float(v / 1000);
    v = keyword_value(args, "movestogo", found);
    // "movestogo 0" names no period: the clock is for the rest of the game.
    if (found && v > 0) {
        control.time_control_moves = 40;
        control.moves_to_go = int16_t(v < 0 ? 0 : v > 32767 ? 32767 : v);
        control.depth_limit = DEPTH_UNLIMITED;
        control.node_limit = 0;
    }
    v = keyword_value(args, "depth", found);
    if (found) {
        // At least one ply: a search of no depth has no move to give.
        control.depth_limit = int8_t(v > DEPTH_UNLIMITED ? DEPTH_UNLIMITED : v < 1 ? 1 : v);
        control.time_per_move = 10000000.0f;
        control.time_control_moves = 1;
    }
    v = keyword_value(args, "nodes", found);
    if (found) {
        control.time_control_moves = 1;
        control.time_per_move = 10000000.0f;
        // At least one node: a budget of 0 would mean no budget at all.
        const int64_t n = v < 1 ? 1 : v > 4e18 ? int64_t(4e18) : int64_t(v);
        const int64_t k = 40 - std::rand() % 80;
        // The budget varies by up to 4 percent either way, drawn anew each time.
        const int64_t spread = n < int64_t(1e16) ? n * k / 1000 : n / 1000 * k;
        control.node_limit = uint64_t(n + spread);
    }
    v = keyword_value(args, "movetime", found);
    if (found) {
        control.time_control_moves = 1;
        control.time_per_move = float(v / 1000);
        control.increment = 0;
    }
    if (std::strstr(args, "infinite")) {
        control.time_control_moves = 1;
        control.depth_limit = DEPTH_UNLIMITED;
        control.time_per_move = 10000000.0f;
        control.increment = 0;
        control.node_limit = 0;
    }
    control.infinite = std::strstr(args, "infinite") != nullptr;
    control.search_state = std::strstr(args, "ponder") ? STATE_PONDER_REQUESTED : STATE_SEARCH_REQUESTED;
}

// "stop" ends any search and has it reported. A ponder search becomes a
// normal one, also when it has already ended by itself, so that its move is
// sent now and not held for a "ponderhit" that will not come.
void stop_command() {
    control.infinite = 0;
    uint8_t state = control.search_state.load();
    while ((state & ~STATE_FINISHED) == STATE_PONDERING &&
           !control.search_state.compare_exchange_weak(state, uint8_t((state & STATE_FINISHED) | STATE_SEARCHING))) {
    }
    if (control.search_state.load() != STATE_IDLE)
        control.stop_flag = 1;
}

// "quit" during a search answers it first: the search is stopped and the
// main loop exits once it has sent "bestmove".
void quit_command() {
    const uint8_t state = control.search_state.load() & ~STATE_FINISHED;
    if (state == STATE_SEARCHING || state == STATE_PONDERING) {
        stop_command();
        control.quit_when_reported = 1;
        return;
    }
    stop_and_wait();
    control.quit_flag = 1;
}

void ucinewgame_command() {
    stop_and_wait();
    control.time_control_moves = 0;
    game->history_count = 0;
    game->history[0] = UndoRecord{};
    clear_limits();
    control.time_per_move = control.clock_white = control.clock_black = 60.0f;
    tt_clear();
    tt.tt_age = 0;
    control.strength_seed = next_strength_seed(control.strength_seed);
}

} // namespace

void uci_input_ended() {
    const uint8_t state = control.search_state.load();
    if (state == STATE_IDLE) {
        control.quit_flag = 1;
        return;
    }
    // Only "stop" would end these: nobody is left to send it.
    if (control.infinite || (state & ~STATE_FINISHED) == STATE_PONDERING)
        stop_command();
    control.quit_when_reported = 1;
}

void uci_command(const std::string& line) {
    if (line.empty())
        return;
    if (command_echo) {
        std::string echo = "CMD: " + line;
        log_line(echo.c_str());
    }
    const std::string name = first_word(line.c_str());
    // Arguments: the rest of the line after the name and one character.
    const size_t name_end = line.find(name) + name.size();
    const std::string args = name_end + 1 < line.size() ? line.substr(name_end + 1) : std::string();
    if (name == "uci") {
        uci_identify();
    } else if (name == "isready") {
        emit_line("readyok");
    } else if (name == "setoption") {
        setoption_command(args);
        save_options();
    } else if (name == "debug") {
        command_echo = 1;
    } else if (name == "_show") {
        show_search_params();
    } else if (name == "ucinewgame") {
        ucinewgame_command();
    } else if (name == "position") {
        set_position_command(line);
    } else if (name == "go") {
        go_command(args.c_str());
    } else if (name == "ponderhit") {
        // Pondering becomes searching; a ponder search that already ended is
        // reported now.
        uint8_t state = STATE_PONDERING;
        if (!control.search_state.compare_exchange_strong(state, STATE_SEARCHING) &&
            state == (STATE_PONDERING | STATE_FINISHED))
            control.search_state.compare_exchange_strong(state, STATE_SEARCHING | STATE_FINISHED);
    } else if (name == "stop") {
        stop_command();
    } else if (name == "quit") {
        quit_command();
    } else if (name == "spsa") {
        print_spsa_list();
    } else if (name == "genfens") {
        stop_and_wait();
        genfens_command(args);
    }
}

} // namespace zelk
