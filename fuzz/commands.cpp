// The input is cut into commands as the input loop cuts standard input. The
// commands run through the engine's own main loop, which starts, polls and
// answers searches; what would outlast a fuzz run is bounded first:
// - every search (UCI "go", console "go", "an", "mv", "self") runs to at most
//   SEARCH_NODES nodes, and console self-play stops after its first move;
// - the input ends at "quit", as the engine does;
// - Hash above 16 MB, more than two threads, perft beyond depth 2 and
//   genfens beyond one position are left out, as is any path under /dev,
//   /proc or /sys (a device can block or never end);
// - files the commands write (log, saved games, the search trace) are removed
//   or emptied between inputs.
#include "commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common.h"
#include "core/notation.h"
#include "engine/input.h"
#include "engine/interpreter.h"
#include "engine/main_loop.h"
#include "engine/options.h"
#include "engine/setup.h"
#include "eval/evaluate.h"
#include "eval/weights.h"
#include "io/output.h"
#include "nn/network.h"
#include "search/control.h"
#include "search/thread.h"
#include "search/trace.h"
#include "search/tt.h"
#include "tablebase/tbcore.h"

namespace zelk::fuzz {

namespace {

constexpr uint64_t SEARCH_NODES = 3000;
constexpr long long MAX_HASH_MB = 16;
constexpr long long MAX_THREADS_USED = 2;
constexpr long long MAX_PERFT_DEPTH = 2;
// The trace file stays open for the life of the process: it is emptied once
// it grows past this, so a long run's disk use stays bounded.
constexpr off_t TRACE_LIMIT = 16 << 20;

// Commands as the input loop makes them: a line ends at its first CR or LF,
// "@" separates commands within it, CR and LF are dropped and tabs become
// blanks. Empty lines are not commands. A NUL ends its line here: the
// commands are queued as C text.
std::vector<std::string> commands_of(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        line.resize(std::min(line.find('\r'), line.size()));
        line.resize(std::min(line.find('\0'), line.size()));
        if (line.empty())
            continue;
        std::string command;
        for (char c : line + '@') {
            if (c != '@') {
                command += c == '\t' ? ' ' : c;
                continue;
            }
            out.push_back(command);
            command.clear();
        }
    }
    return out;
}

// The command's first word as each interpreter reads it: UCI splits at
// blanks only, the console at any white space.
struct Words {
    std::string uci, console, second;
};
Words words_of(const std::string& command) {
    Words w;
    w.uci = first_word(command.c_str());
    std::istringstream in(command);
    in >> w.console >> w.second;
    return w;
}

bool either(const Words& w, const char* word) { return w.uci == word || w.console == word; }

bool starts_search(const Words& w) {
    return either(w, "go") || either(w, "an") || either(w, "mv") || either(w, "self");
}

// The command as it is run, or "" when it is left out.
std::string bounded(const std::string& command, const Words& w) {
    for (const char* device : {"/dev", "/proc", "/sys"})
        if (command.find(device) != std::string::npos)
            return "";
    if (either(w, "setoption")) {
        if (command.find("Hash") != std::string::npos && has_number_above(command, MAX_HASH_MB))
            return "";
        if (command.find("Threads") != std::string::npos && has_number_above(command, MAX_THREADS_USED))
            return "";
    }
    if (w.console == "perft" && std::atoll(w.second.c_str()) > MAX_PERFT_DEPTH)
        return "";
    if (w.uci == "genfens") {
        // uci_command passes the text after the word and one character.
        const size_t args_at = command.find("genfens") + 8;
        std::istringstream args(args_at < command.size() ? command.substr(args_at) : "");
        long long count = 0;
        if (args >> count && count > 1) {
            std::string rest;
            std::getline(args, rest, '\0');
            return "genfens 1" + rest;
        }
    }
    return command;
}

// Runs one command the way command_step does.
void dispatch(const std::string& command) {
    if (control.protocol_mode == 1 || command == "uci")
        uci_command(command);
    else
        console_command(command);
}

void clear_files() {
    close_log();
    command_echo = 0;
    std::remove("zelk.log");
    std::remove("tmp.pgn");
    struct stat st;
    if (stat("trace.txt", &st) == 0 && st.st_size > TRACE_LIMIT && truncate("trace.txt", 0) != 0)
        fail("cannot empty", "trace.txt");
}

// The state start-up leaves before the first command.
void reset_engine(int protocol_mode) {
    clear_files();
    set_trace_level(0);
    options_set_defaults("/nonexistent");
    search_settings.Hash = 1;
    control.node_limit = 0;
    control.time_per_move = control.clock_white = control.clock_black = 5.0f;
    control.depth_limit = control.switch_depth_limit = DEPTH_UNLIMITED;
    control.stop_flag = 0;
    control.search_state = STATE_IDLE;
    control.quit_flag = 0;
    control.quit_when_reported = 0;
    control.infinite = 0;
    control.use_hash = 1;
    control.time_control_moves = 1;
    control.moves_to_go = 0;
    control.noise = 0;
    control.increment = 0;
    control.calibration_nps = 0;
    control.strength_seed = 1;   // the strength limit's choices repeat run to run
    control.max_elo = 2800;
    control.thread_count = 1;
    control.trace_key = 0;
    control.requested_at = 0;
    if (tt.megabytes != 1 && !tt_alloc())
        fail("table allocation failed", "");
    tt_clear();
    tt.tt_age = 0;
    notation_style.chess960 = false;
    set_protocol_mode(protocol_mode);
    setup.eval_debug = 0;
    setup.self_play = 0;
    eval_settings.Use_NN_eval = 1;
    eval_settings.eval_jitter = 1;
    if (networks.count)
        unload_networks();
    if (!tb::registry.dirs.empty())
        tb::init_tablebases("");
    init_eval_params();
    search_settings.options_changed = 0;
    reset_game();
    std::srand(1);
}

} // namespace

void run_commands(const uint8_t* data, size_t size, int protocol_mode) {
    static const bool ready = [] {
        init_engine();
        // The first poll meets the end of standard input; from then on the
        // engine reads only what is queued.
        set_protocol_mode(1);
        command_step();
        control.quit_flag = 0;
        return true;
    }();
    (void)ready;
    reset_engine(protocol_mode);

    std::vector<std::string> commands;
    std::vector<Words> words;
    for (const std::string& c : commands_of(as_text(data, size))) {
        const Words w = words_of(c);
        const std::string run = bounded(c, w);
        if (run.empty())
            continue;
        commands.push_back(run);
        words.push_back(run == c ? w : words_of(run));
        if (either(w, "quit"))
            break;
    }
    // Each stretch from one search to the next goes through the main loop:
    // the search first, bounded, then the commands after it, read while it
    // runs or once it has answered.
    for (size_t i = 0; i < commands.size();) {
        if (starts_search(words[i])) {
            dispatch(commands[i++]);
            const uint8_t state = control.search_state.load();
            if (state == STATE_SEARCH_REQUESTED || state == STATE_PONDER_REQUESTED) {
                if (!control.node_limit || control.node_limit > SEARCH_NODES)
                    control.node_limit = SEARCH_NODES;
                setup.self_play = 0;
            }
        }
        bool quit = false;
        for (; i < commands.size() && !starts_search(words[i]); ++i) {
            queue_commands((commands[i] + '@').c_str());
            quit = either(words[i], "quit");
        }
        // A console ends only on "quit" (UCI also at the end of its input).
        if (protocol_mode == 0 && !quit)
            queue_commands("quit@");
        main_loop();
        control.quit_flag = 0;
        control.quit_when_reported = 0;
    }
    clear_files();
}

} // namespace zelk::fuzz
