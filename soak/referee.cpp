// zelk-referee: plays games between two UCI engines with pondering on, as a
// GUI does (go ponder, ponderhit, stop on a miss), keeps the clocks, and
// ends a game on a fault of either engine: time forfeit, illegal move,
// abandoned (the process died or closed its output) or stall (no answer in
// time). Games go to a PGN file, every line exchanged to a log.

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "chess_game.h"
#include "core/position.h"
#include "engine_process.h"

using namespace referee;

namespace {

constexpr int64_t MS = 1000, SECOND = 1000000;
constexpr int64_t HANDSHAKE_WAIT = 10 * SECOND;   // uciok, readyok
constexpr int64_t STOP_WAIT = 1 * SECOND;         // bestmove after stop
constexpr int64_t SILENCE_WAIT = 5 * SECOND;      // past the clock, nothing at all
constexpr int MAX_PLIES_LIMIT = 800;              // the core's history holds the game

const char* const USAGE =
    "usage: zelk-referee -engine CMD [-name N] [-arg A]... -engine CMD [-name N] [-arg A]... [options]\n"
    "  -engine CMD      an engine; CMD is split on blanks into the program and its arguments\n"
    "  -arg A           one more argument (kept whole) for the engine named last\n"
    "  -name N          name of the engine named last (default: its program's file name)\n"
    "  -option N=V      'setoption name N value V' to both engines; Ponder is always set true\n"
    "  -tc BASE+INC     time control in seconds (default 2+0.02)\n"
    "  -games N         games to play, in pairs on one opening with colours swapped (default 2)\n"
    "  -openings FILE   EPD openings (the first four fields of a line, then \"0 1\");\n"
    "                   default: the start position\n"
    "  -start K         first opening used, counting from 1, then in order (default 1)\n"
    "  -seed S          pick each pair's opening at random from this seed instead\n"
    "  -pgn FILE        games appended here\n"
    "  -log FILE        every line to and from the engines appended here:\n"
    "                   '<ms since start> g<game> <engine> <dir> <text>', dir '>>' sent,\n"
    "                   '<<' stdout, '!!' stderr, '--' referee note\n"
    "  -maxplies N      adjudicate a draw after N plies (default 300, at most 800)\n"
    "  -margin MS       time a move may overrun its clock before a forfeit (default 100)\n"
    "  -event TEXT      PGN Event tag (default \"zelk-referee\")\n"
    "A pondering engine gets 'go ponder' with its own clock as it stands and its\n"
    "opponent's as if the opponent moved at once (its increment added).\n"
    "Faults end the game with Termination \"time forfeit\", \"illegal move\",\n"
    "\"abandoned\" or \"stall\"; both engines are then restarted.\n"
    "Exit status: 0 no faults, 1 faults, 2 bad arguments or files.\n";

[[noreturn]] void usage_error(const std::string& message) {
    std::fprintf(stderr, "zelk-referee: %s\n%s", message.c_str(), USAGE);
    std::exit(2);
}

[[noreturn]] void file_error(const std::string& message) {
    std::fprintf(stderr, "zelk-referee: %s\n", message.c_str());
    std::exit(2);
}

std::vector<std::string> split_blanks(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

bool parse_int(const std::string& text, int64_t low, int64_t high, int64_t& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno || *end || v < low || v > high)
        return false;
    out = v;
    return true;
}

// Seconds as text ("2", "0.02") to microseconds.
bool parse_seconds(const std::string& text, int64_t& out) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos)
        return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (*end || !(v >= 0) || v > 1e6)
        return false;
    out = int64_t(std::llround(v * 1e6));
    return true;
}

// An executable named with a slash, or found on PATH.
bool can_execute(const std::string& program) {
    auto ok = [](const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
    };
    if (program.find('/') != std::string::npos)
        return ok(program);
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (ok((dir.empty() ? "." : dir) + "/" + program))
            return true;
    return false;
}

struct EngineCommand {
    std::vector<std::string> argv;
    std::string name;
};

struct Settings {
    std::vector<EngineCommand> engines;
    std::vector<std::pair<std::string, std::string>> options;
    std::string tc_text = "2+0.02";
    int64_t base_us = 2 * SECOND, inc_us = 20 * MS;
    int64_t games = 2;
    std::string openings_file;
    int64_t start = 1;
    bool random_openings = false;
    uint64_t seed = 0;
    std::string pgn_file, log_file;
    int64_t max_plies = 300;
    int64_t margin_us = 100 * MS;
    std::string event = "zelk-referee";
};

Settings parse_arguments(int argc, char** argv) {
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-help" || arg == "--help" || arg == "-h") {
            std::fputs(USAGE, stdout);
            std::exit(0);
        }
        if (i + 1 >= argc)
            usage_error("missing value after " + arg);
        const std::string value = argv[++i];
        int64_t n = 0;
        if (arg == "-engine") {
            EngineCommand e;
            e.argv = split_blanks(value);
            if (e.argv.empty())
                usage_error("empty -engine");
            s.engines.push_back(e);
        } else if (arg == "-arg" || arg == "-name") {
            if (s.engines.empty())
                usage_error(arg + " before any -engine");
            if (arg == "-arg")
                s.engines.back().argv.push_back(value);
            else if (value.empty() || value.find_first_of(" \t\"") != std::string::npos)
                usage_error("an engine name must be a word without blanks or quotes: \"" + value + "\"");
            else
                s.engines.back().name = value;
        } else if (arg == "-option") {
            const size_t eq = value.find('=');
            if (eq == std::string::npos || eq == 0)
                usage_error("-option needs NAME=VALUE: " + value);
            s.options.emplace_back(value.substr(0, eq), value.substr(eq + 1));
        } else if (arg == "-tc") {
            const size_t plus = value.find('+');
            const std::string base = value.substr(0, plus);
            const std::string inc = plus == std::string::npos ? "0" : value.substr(plus + 1);
            if (!parse_seconds(base, s.base_us) || !parse_seconds(inc, s.inc_us) || s.base_us <= 0)
                usage_error("-tc needs BASE+INC in seconds, BASE above 0: " + value);
            s.tc_text = value;
        } else if (arg == "-games") {
            if (!parse_int(value, 1, 1000000000, s.games))
                usage_error("-games needs a number from 1: " + value);
        } else if (arg == "-openings") {
            s.openings_file = value;
        } else if (arg == "-start") {
            if (!parse_int(value, 1, 1000000000, s.start))
                usage_error("-start needs a number from 1: " + value);
        } else if (arg == "-seed") {
            if (!parse_int(value, 0, INT64_MAX, n))
                usage_error("-seed needs a number: " + value);
            s.seed = uint64_t(n);
            s.random_openings = true;
        } else if (arg == "-pgn") {
            s.pgn_file = value;
        } else if (arg == "-log") {
            s.log_file = value;
        } else if (arg == "-maxplies") {
            if (!parse_int(value, 1, MAX_PLIES_LIMIT, s.max_plies))
                usage_error("-maxplies needs a number from 1 to " + std::to_string(MAX_PLIES_LIMIT) + ": " + value);
        } else if (arg == "-margin") {
            if (!parse_int(value, 0, 3600000, n))
                usage_error("-margin needs milliseconds: " + value);
            s.margin_us = n * MS;
        } else if (arg == "-event") {
            s.event = value;
        } else {
            usage_error("unknown argument " + arg);
        }
    }
    if (s.engines.size() != 2)
        usage_error("two -engine arguments are needed, " + std::to_string(s.engines.size()) + " given");
    for (EngineCommand& e : s.engines) {
        if (!can_execute(e.argv[0]))
            file_error("cannot run engine \"" + e.argv[0] + "\": no executable file by that name");
        if (e.name.empty()) {
            const std::string& p = e.argv[0];
            e.name = p.substr(p.rfind('/') == std::string::npos ? 0 : p.rfind('/') + 1);
        }
    }
    if (s.engines[0].name == s.engines[1].name) {
        s.engines[0].name += "-1";
        s.engines[1].name += "-2";
    }
    for (auto& [name, value] : s.options)
        if (name == "Ponder")
            usage_error("Ponder is always on; do not set it with -option");
    return s;
}

// Openings as full FENs; the start position when no file is given.
std::vector<std::string> read_openings(const std::string& path) {
    if (path.empty())
        return {std::string(zelk::START_FEN) + " 0 1"};
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        file_error("openings file " + path + " is a folder");
    std::ifstream in(path);
    if (!in)
        file_error("cannot read openings file " + path + ": " + std::strerror(errno));
    std::vector<std::string> fens;
    ChessGame check;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::vector<std::string> f = split_blanks(line);
        if (f.empty() || f[0][0] == '#')
            continue;
        if (f.size() < 4)
            file_error(path + ":" + std::to_string(number) + ": not an EPD line");
        const std::string fen = f[0] + " " + f[1] + " " + f[2] + " " + f[3] + " 0 1";
        std::string error;
        if (!check.reset(fen, error))
            file_error(path + ":" + std::to_string(number) + ": " + error);
        fens.push_back(fen);
    }
    if (fens.empty())
        file_error("no openings in " + path);
    return fens;
}

uint64_t splitmix64(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

enum class Mode { Idle, Thinking, Pondering, Stopping };

// One engine of the match and its search as the referee sees it.
struct Player {
    EngineProcess* process = nullptr;
    Mode mode = Mode::Idle;
    int64_t clock_us = 0;           // time left
    int64_t started_us = 0;         // go or ponderhit: the clock runs from here
    std::string ponder_move;        // the move it ponders on
    bool got_uciok = false, got_readyok = false;
    bool has_best = false;          // a bestmove for the current search
    bool early_best = false;        // ... sent while pondering
    std::string best, best_ponder;
    int64_t best_us = 0;
    bool has_score = false, mate = false;
    int score = 0, depth = 0;

    void new_search() {
        has_best = early_best = false;
        best.clear();
        best_ponder.clear();
        has_score = false;
        depth = 0;
    }
};

struct Counters {
    int64_t games = 0, normal = 0, time_forfeit = 0, illegal = 0, abandoned = 0, stall = 0;
    int64_t ponderhits = 0, misses = 0, early_bestmoves = 0, stray_bestmoves = 0, bad_exits = 0;
};

// How a game ended.
struct Outcome {
    std::string result;          // "1-0", "0-1", "1/2-1/2"
    std::string termination;     // "normal", "adjudication" or a fault's word
    std::string reason;          // for the PGN comment
    int faulty = -1;             // player index of a fault
};

class Match {
public:
    Match(Settings settings, std::vector<std::string> openings)
        : s_(std::move(settings)), openings_(std::move(openings)) {
        for (int i = 0; i < 2; ++i)
            processes_[i] = std::make_unique<EngineProcess>(s_.engines[i].name, s_.engines[i].argv, log_);
        for (int i = 0; i < 2; ++i)
            players_[i].process = processes_[i].get();
    }

    int run();

private:
    void handle_line(Player& p, const std::string& line);
    enum class Wait { Done, Timeout, Closed };
    Wait wait_until(const std::function<bool()>& done, int64_t deadline_us, int& closed);
    Outcome fault(int who, const char* termination, const std::string& reason);
    Outcome closed_fault(int who);
    bool start_engine(int who, Outcome& out);
    bool sync(int who, Outcome& out);
    bool stop_search(int who, Outcome& out);
    std::string go_command(bool ponder, int ponderer) const;
    std::string move_comment(const Player& p, int64_t elapsed_us) const;
    Outcome play_game(int game_number, const std::string& fen, int white, PgnGame& pgn);
    void shut_down(int wait_ms);

    Settings s_;
    std::vector<std::string> openings_;
    MatchLog log_;
    std::unique_ptr<EngineProcess> processes_[2];
    Player players_[2];
    int colour_player_[2] = {0, 1};   // player index by colour
    ChessGame game_;
    Counters count_;
    std::FILE* pgn_file_ = nullptr;
    std::string last_move_;           // coordinate text of the last move played
    int64_t line_us_ = 0;             // read time of the line being handled
};

void Match::handle_line(Player& p, const std::string& line) {
    const std::vector<std::string> w = split_blanks(line);
    if (w.empty())
        return;
    if (w[0] == "info") {
        if (p.mode != Mode::Thinking && p.mode != Mode::Pondering)
            return;
        for (size_t i = 1; i + 1 < w.size(); ++i) {
            if (w[i] == "string")
                break;
            if (w[i] == "depth") {
                p.depth = std::atoi(w[i + 1].c_str());
            } else if (w[i] == "score" && i + 2 < w.size() && (w[i + 1] == "cp" || w[i + 1] == "mate")) {
                p.has_score = true;
                p.mate = w[i + 1] == "mate";
                p.score = std::atoi(w[i + 2].c_str());
            }
        }
    } else if (w[0] == "bestmove") {
        if (p.mode == Mode::Idle) {
            ++count_.stray_bestmoves;
            p.process->note("bestmove with no search running: ignored");
            return;
        }
        if (p.has_best) {
            ++count_.stray_bestmoves;
            p.process->note("second bestmove for one search: ignored");
            return;
        }
        p.has_best = true;
        p.best_us = line_us_;
        p.best = w.size() > 1 ? w[1] : "";
        p.best_ponder = w.size() > 3 && w[2] == "ponder" ? w[3] : "";
        if (p.mode == Mode::Pondering) {
            // UCI holds a ponder search's move until ponderhit or stop.
            p.early_best = true;
            ++count_.early_bestmoves;
            p.process->note("bestmove while pondering, before ponderhit or stop");
        }
    } else if (w[0] == "uciok") {
        p.got_uciok = true;
    } else if (w[0] == "readyok") {
        p.got_readyok = true;
    }
}

Match::Wait Match::wait_until(const std::function<bool()>& done, int64_t deadline_us, int& closed) {
    EngineProcess* engines[2] = {players_[0].process, players_[1].process};
    for (;;) {
        for (Player& p : players_)
            for (std::string line; p.process->next_line(line, line_us_);)
                handle_line(p, line);
        if (done())
            return Wait::Done;
        for (int i = 0; i < 2; ++i)
            if (players_[i].process->running() && players_[i].process->closed()) {
                closed = i;
                return Wait::Closed;
            }
        if (now_us() >= deadline_us)
            return Wait::Timeout;
        pump(engines, 2, deadline_us);
    }
}

Outcome Match::fault(int who, const char* termination, const std::string& reason) {
    Outcome o;
    o.faulty = who;
    o.termination = termination;
    o.reason = s_.engines[who].name + " " + reason;
    const bool white_faulty = colour_player_[zelk::WHITE] == who;
    o.result = white_faulty ? "0-1" : "1-0";
    players_[who].process->note(std::string("fault: ") + termination + ": " + reason);
    return o;
}

Outcome Match::closed_fault(int who) {
    const std::string how = players_[who].process->reap(1000);
    return fault(who, "abandoned", "abandoned the game: " + how);
}

bool Match::start_engine(int who, Outcome& out) {
    Player& p = players_[who];
    std::string error;
    if (!p.process->start(error)) {
        out = fault(who, "abandoned", "could not be started: " + error);
        return false;
    }
    p.mode = Mode::Idle;
    p.got_uciok = false;
    int closed = -1;
    if (!p.process->send("uci")) {
        out = closed_fault(who);
        return false;
    }
    const Wait w = wait_until([&] { return p.got_uciok; }, now_us() + HANDSHAKE_WAIT, closed);
    if (w == Wait::Closed) {
        out = closed_fault(closed);
        return false;
    }
    if (w == Wait::Timeout) {
        out = fault(who, "stall", "sent no uciok within 10 s of uci");
        return false;
    }
    for (const auto& [name, value] : s_.options)
        p.process->send("setoption name " + name + " value " + value);
    p.process->send("setoption name Ponder value true");
    return sync(who, out);
}

// isready, and readyok within 10 s.
bool Match::sync(int who, Outcome& out) {
    Player& p = players_[who];
    p.got_readyok = false;
    int closed = -1;
    if (!p.process->send("isready")) {
        out = closed_fault(who);
        return false;
    }
    const Wait w = wait_until([&] { return p.got_readyok; }, now_us() + HANDSHAKE_WAIT, closed);
    if (w == Wait::Closed) {
        out = closed_fault(closed);
        return false;
    }
    if (w == Wait::Timeout) {
        out = fault(who, "stall", "sent no readyok within 10 s of isready");
        return false;
    }
    return true;
}

// Ends a running search: stop, and its (discarded) bestmove within 1 s.
bool Match::stop_search(int who, Outcome& out) {
    Player& p = players_[who];
    if (p.mode == Mode::Idle)
        return true;
    const bool answered = p.has_best;
    p.mode = Mode::Stopping;
    int closed = -1;
    if (!p.process->send("stop")) {
        out = closed_fault(who);
        return false;
    }
    if (!answered) {
        const Wait w = wait_until([&] { return p.has_best; }, now_us() + STOP_WAIT, closed);
        if (w == Wait::Closed) {
            out = closed_fault(closed);
            return false;
        }
        if (w == Wait::Timeout) {
            out = fault(who, "stall", "sent no bestmove within 1 s of stop");
            return false;
        }
    }
    p.mode = Mode::Idle;
    p.new_search();
    return true;
}

std::string Match::go_command(bool ponder, int ponderer) const {
    int64_t ms[2];
    for (int colour = 0; colour < 2; ++colour) {
        const int who = colour_player_[colour];
        int64_t t = players_[who].clock_us;
        // The opponent of a pondering engine: as if it moved at once.
        if (ponder && who != ponderer)
            t += s_.inc_us;
        ms[colour] = t / MS;
    }
    const int64_t inc = s_.inc_us / MS;
    char text[160];
    std::snprintf(text, sizeof text, "go %swtime %lld btime %lld winc %lld binc %lld", ponder ? "ponder " : "",
                  static_cast<long long>(ms[0]), static_cast<long long>(ms[1]), static_cast<long long>(inc),
                  static_cast<long long>(inc));
    return text;
}

// "{+0.35/12 0.203s}": the mover's score in pawns or moves to mate, depth, time.
std::string Match::move_comment(const Player& p, int64_t elapsed_us) const {
    char text[64];
    char score[24] = "";
    if (p.has_score) {
        if (p.mate)
            std::snprintf(score, sizeof score, "%sM%d/%d ", p.score > 0 ? "+" : "-", std::abs(p.score), p.depth);
        else if (p.score == 0)
            std::snprintf(score, sizeof score, "0.00/%d ", p.depth);
        else
            std::snprintf(score, sizeof score, "%+.2f/%d ", p.score / 100.0, p.depth);
    }
    std::snprintf(text, sizeof text, "%s%.3fs", score, double(elapsed_us) / 1e6);
    return text;
}

Outcome Match::play_game(int game_number, const std::string& fen, int white, PgnGame& pgn) {
    log_.game = game_number;
    colour_player_[zelk::WHITE] = white;
    colour_player_[zelk::BLACK] = 1 - white;
    std::string error;
    if (!game_.reset(fen, error))
        file_error("bad opening " + fen + ": " + error);
    pgn.start_side = game_.start_side();
    pgn.start_fullmove = game_.start_fullmove();

    Outcome out;
    for (int i = 0; i < 2; ++i)
        if (!players_[i].process->running() && !start_engine(i, out))
            return out;
    for (int i = 0; i < 2; ++i) {
        Player& p = players_[i];
        p.mode = Mode::Idle;
        p.new_search();
        p.clock_us = s_.base_us;
        if (!p.process->send("ucinewgame"))
            return closed_fault(i);
        if (!sync(i, out))
            return out;
    }

    int closed = -1;
    for (;;) {
        const int me = colour_player_[game_.side_to_move()];
        Player& p = players_[me];
        if (p.mode == Mode::Pondering) {
            if (p.ponder_move == last_move_) {
                if (!p.process->send("ponderhit"))
                    return closed_fault(me);
                p.started_us = now_us();
                p.mode = Mode::Thinking;
                ++count_.ponderhits;
            } else {
                ++count_.misses;
                if (!stop_search(me, out))
                    return out;
            }
        }
        if (p.mode == Mode::Idle) {
            p.new_search();
            if (!p.process->send(game_.position_command()) || !p.process->send(go_command(false, me)))
                return closed_fault(me);
            p.started_us = now_us();
            p.mode = Mode::Thinking;
        }

        const int64_t clock = p.clock_us;
        const Wait w = wait_until([&] { return p.has_best; }, p.started_us + clock + SILENCE_WAIT, closed);
        if (w == Wait::Closed)
            return closed_fault(closed);
        if (w == Wait::Timeout) {
            if (p.process->last_output_us() < p.started_us)
                return fault(me, "stall", "sent nothing while thinking for its clock (" +
                                              std::to_string(clock / MS) + " ms) and 5 s more");
            return fault(me, "time forfeit", "sent no move within its clock (" + std::to_string(clock / MS) +
                                                 " ms) and 5 s more");
        }
        p.mode = Mode::Idle;
        const int64_t elapsed = std::max<int64_t>(0, p.best_us - p.started_us);
        if (elapsed > clock + s_.margin_us) {
            Outcome o = fault(me, "time forfeit",
                              "lost on time: " + std::to_string(elapsed / MS) + " ms used, " +
                                  std::to_string(clock / MS) + " ms left");
            if (game_.bare_king(game_.side_to_move() ^ 1)) {
                o.result = "1/2-1/2";
                o.reason += "; the opponent has a bare king: draw";
            }
            return o;
        }
        const zelk::Move move = game_.find_move(p.best);
        if (move == zelk::NO_MOVE)
            return fault(me, "illegal move", "played an illegal move: \"" + p.best + "\"");
        p.clock_us = std::max<int64_t>(0, clock - elapsed) + s_.inc_us;

        pgn.sans.push_back(game_.san(move));
        pgn.comments.push_back(move_comment(p, elapsed));
        game_.play(move, p.best);
        last_move_ = p.best;

        const Ending end = game_.ending();
        const bool white_moved = game_.side_to_move() == zelk::BLACK;
        if (end != Ending::None || game_.plies() >= s_.max_plies) {
            out.faulty = -1;
            out.termination = "normal";
            out.result = "1/2-1/2";
            switch (end) {
            case Ending::Checkmate:
                out.result = white_moved ? "1-0" : "0-1";
                out.reason = white_moved ? "White mates" : "Black mates";
                break;
            case Ending::Stalemate: out.reason = "Draw by stalemate"; break;
            case Ending::Repetition: out.reason = "Draw by threefold repetition"; break;
            case Ending::FiftyMoves: out.reason = "Draw by the fifty-move rule"; break;
            case Ending::Material: out.reason = "Draw by insufficient material"; break;
            case Ending::None:
                out.termination = "adjudication";
                out.reason = "Draw by adjudication: " + std::to_string(s_.max_plies) + " plies";
                break;
            }
            pgn.comments.back() += ", " + out.reason;
            out.reason.clear();
            // The opponent may be pondering; it must still answer stop.
            stop_search(1 - me, out);
            return out;
        }

        // Ponder on the engine's expected reply when it is legal.
        if (!p.best_ponder.empty() && game_.find_move(p.best_ponder) != zelk::NO_MOVE) {
            const std::string expected = p.best_ponder;
            p.new_search();
            if (!p.process->send(game_.position_command({expected})) || !p.process->send(go_command(true, me)))
                return closed_fault(me);
            p.mode = Mode::Pondering;
            p.ponder_move = expected;
        }
    }
}

void Match::shut_down(int wait_ms) {
    for (Player& p : players_) {
        if (!p.process->running())
            continue;
        const std::string how = p.process->quit(wait_ms);
        if (how != "exit status 0") {
            ++count_.bad_exits;
            std::fprintf(stderr, "zelk-referee: %s after quit: %s\n", p.process->name().c_str(), how.c_str());
        }
    }
}

int Match::run() {
    if (!s_.log_file.empty() && !log_.open(s_.log_file))
        file_error("cannot open log file " + s_.log_file + ": " + std::strerror(errno));
    if (!s_.pgn_file.empty()) {
        pgn_file_ = std::fopen(s_.pgn_file.c_str(), "ae");
        if (!pgn_file_)
            file_error("cannot open PGN file " + s_.pgn_file + ": " + std::strerror(errno));
    }
    char date[16];
    const std::time_t t = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y.%m.%d", std::localtime(&t));

    uint64_t rng = s_.seed;
    size_t opening = size_t((s_.start - 1) % int64_t(openings_.size()));
    for (int64_t g = 1; g <= s_.games; ++g) {
        // A new opening for each pair; the second game swaps the colours.
        if (g % 2 == 1 && g > 1)
            opening = (opening + 1) % openings_.size();
        if (g % 2 == 1 && s_.random_openings)
            opening = size_t(splitmix64(rng) % openings_.size());
        const int white = g % 2 == 1 ? 0 : 1;
        const std::string& fen = openings_[opening];

        PgnGame pgn;
        last_move_.clear();
        Outcome out = play_game(int(g), fen, white, pgn);
        ++count_.games;
        if (out.faulty >= 0) {
            // Recover: the faulty engine killed, the other asked to quit;
            // both start afresh for the next game.
            players_[out.faulty].process->kill_now();
            shut_down(1000);
            if (out.termination == "time forfeit")
                ++count_.time_forfeit;
            else if (out.termination == "illegal move")
                ++count_.illegal;
            else if (out.termination == "abandoned")
                ++count_.abandoned;
            else
                ++count_.stall;
        } else {
            ++count_.normal;
        }
        if (!out.reason.empty())
            (pgn.sans.empty() ? pgn.first_comment : pgn.last_comment) = out.reason;

        pgn.result = out.result;
        pgn.tags = {{"Event", s_.event},
                    {"Site", "?"},
                    {"Date", date},
                    {"Round", std::to_string(g)},
                    {"White", s_.engines[white].name},
                    {"Black", s_.engines[1 - white].name},
                    {"Result", out.result}};
        if (!game_.from_start_position()) {
            pgn.tags.emplace_back("SetUp", "1");
            pgn.tags.emplace_back("FEN", game_.start_fen());
        }
        pgn.tags.emplace_back("TimeControl", s_.tc_text);
        pgn.tags.emplace_back("PlyCount", std::to_string(pgn.sans.size()));
        pgn.tags.emplace_back("Termination", out.termination);
        if (pgn_file_ && !write_pgn(pgn_file_, pgn))
            file_error("cannot write PGN file " + s_.pgn_file + ": " + std::strerror(errno));
        log_.write("referee", "--",
                   "game " + std::to_string(g) + " ended " + out.result + " (" + out.termination + ")" +
                       (out.reason.empty() ? "" : ": " + out.reason));
    }
    shut_down(2000);
    if (pgn_file_)
        std::fclose(pgn_file_);

    std::printf("games %lld normal %lld time-forfeit %lld illegal %lld abandoned %lld stall %lld ponderhits %lld "
                "ponder-misses %lld\n",
                static_cast<long long>(count_.games), static_cast<long long>(count_.normal),
                static_cast<long long>(count_.time_forfeit), static_cast<long long>(count_.illegal),
                static_cast<long long>(count_.abandoned), static_cast<long long>(count_.stall),
                static_cast<long long>(count_.ponderhits), static_cast<long long>(count_.misses));
    if (count_.early_bestmoves || count_.stray_bestmoves || count_.bad_exits)
        std::fprintf(stderr,
                     "zelk-referee: protocol notes: %lld bestmoves while pondering, %lld unexpected bestmoves, "
                     "%lld bad exits after quit (see the log)\n",
                     static_cast<long long>(count_.early_bestmoves), static_cast<long long>(count_.stray_bestmoves),
                     static_cast<long long>(count_.bad_exits));
    std::fflush(stdout);
    return count_.games == count_.normal ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    Settings settings = parse_arguments(argc, argv);
    init_chess();
    std::vector<std::string> openings = read_openings(settings.openings_file);
    install_signal_handlers();
    Match match(std::move(settings), std::move(openings));
    return match.run();
}
