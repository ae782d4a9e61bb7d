#include "tools/genfens.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "core/makemove.h"
#include "core/movegen.h"
#include "core/position.h"
#include "eval/evaluate.h"
#include "io/output.h"
#include "search/control.h"
#include "search/result.h"
#include "search/search.h"
#include "search/thread.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "tools/offline_search.h"

namespace zelk {

namespace {

constexpr int BALANCED = 150;       // centipawns either way
constexpr int SEARCH_DEPTH = 6;
constexpr int ATTEMPTS_PER_POSITION = 200;

// splitmix64: the stream depends on the seed alone.
uint64_t next_random(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The first four fields of each line that has them.
std::vector<std::string> read_book(const std::string& path) {
    std::vector<std::string> starts;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string f[4];
        if (fields >> f[0] >> f[1] >> f[2] >> f[3])
            starts.push_back(f[0] + " " + f[1] + " " + f[2] + " " + f[3]);
    }
    return starts;
}

// The game position after `plies` random legal moves from `start`; false
// when a side runs out of moves on the way.
bool random_line(const std::string& start, int plies, uint64_t& random) {
    Position& pos = game->pos;
    pos_from_fen(pos, start.c_str());
    for (int i = 0; i < plies; ++i) {
        MoveEntry list[MAX_MOVES];
        Move legal[MAX_MOVES];
        int n = 0;
        gen_all(pos, list);
        for (const MoveEntry* e = list; e->move != END_OF_LIST; ++e)
            if (is_legal(pos, pos.side, e->move))
                legal[n++] = e->move;
        if (n == 0)
            return false;
        make_move(pos, legal[next_random(random) % uint64_t(n)]);
        pos.owner->search_ply = 1;   // a game's moves, not a search's
    }
    return !no_legal_moves(*game);
}

int short_search_score() {
    tt_clear();
    search_start();
    control.depth_limit = SEARCH_DEPTH;
    run_direct_search();
    control.stop_flag = 0;
    return result.best_score;
}

} // namespace

void genfens_command(const std::string& args) {
    std::istringstream in(args);
    long long count = 0;
    uint64_t seed = 0;
    std::string book = "None";
    int plies = -1;
    if (!(in >> count)) {
        emit_line("info string genfens: needs a count: genfens N seed S book B [plies P]");
        return;
    }
    for (std::string key; in >> key;) {
        if (key == "seed")
            in >> seed;
        else if (key == "book")
            in >> book;
        else if (key == "plies")
            in >> plies;
    }
    std::vector<std::string> starts;
    if (book != "None") {
        starts = read_book(book);
        if (starts.empty()) {
            emit_line(("info string genfens: no positions in " + book).c_str());
            return;
        }
    }
    if (plies < 0)
        plies = starts.empty() ? 8 : 4;
    plies = plies > 200 ? 200 : plies;

    // The searches are the engine's own, quietly, with its limits put back after.
    // One thread and no evaluation noise: the same seed gives the same positions.
    const struct {
        float noise;
        int8_t depth_limit;
        uint64_t node_limit;
        uint8_t time_control_moves;
        float time_per_move;
        int thread_count;
        int16_t eval_jitter;
    } saved{control.noise,         control.depth_limit,  control.node_limit,        control.time_control_moves,
            control.time_per_move, control.thread_count, eval_settings.eval_jitter};
    control.thread_count = 1;
    eval_settings.eval_jitter = 0;
    control.noise = 9999.0f;
    control.node_limit = 0;
    control.time_control_moves = 1;
    control.time_per_move = 10000000.0f;

    uint64_t random = seed;
    std::set<std::string> seen;
    long long found = 0;
    for (long long attempt = 0; found < count && attempt < count * ATTEMPTS_PER_POSITION && !control.quit_flag;
         ++attempt) {
        const std::string& start = starts.empty() ? std::string(START_FEN)
                                                  : starts[next_random(random) % uint64_t(starts.size())];
        if (!random_line(start, plies, random))
            continue;
        char fen[FEN_BUFFER_SIZE];
        pos_to_fen(game->pos, fen, false);
        const int halfmove = game->pos.halfmove;
        if (seen.count(fen))
            continue;
        const int score = short_search_score();
        if (score < -BALANCED || score > BALANCED)
            continue;
        seen.insert(fen);
        ++found;
        char line[FEN_BUFFER_SIZE + 40];
        // Move numbers count from the start position; a book line's are unknown.
        std::snprintf(line, sizeof line, "info string genfens %s %d %d", fen, halfmove, starts.empty() ? 1 + plies / 2 : 1);
        emit_line(line);
    }
    control.noise = saved.noise;
    control.depth_limit = saved.depth_limit;
    control.node_limit = saved.node_limit;
    control.time_control_moves = saved.time_control_moves;
    control.time_per_move = saved.time_per_move;
    control.thread_count = saved.thread_count;
    eval_settings.eval_jitter = saved.eval_jitter;
    pos_from_fen(game->pos, START_FEN);
}

} // namespace zelk
