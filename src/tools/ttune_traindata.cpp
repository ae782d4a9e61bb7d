// Self-play training data: games at a fixed node budget per move from
// randomised start lines, adjudicated by score and by the tablebases, whose
// quiet positions are written with the search score and the game's result,
// both from the side to move's point of view. Each worker is a process of
// its own (the search keeps its state process-wide), one per search thread.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

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
#include "search/tt.h"
#include "tablebase/tbcore.h"
#include "tablebase/tbsearch.h"
#include "tools/epd.h"
#include "tools/offline_search.h"
#include "tools/tuning.h"

namespace zelk {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr uint64_t DEFAULT_NODES = 5000;
constexpr int RANDOM_PLIES_STARTPOS = 8;
constexpr int RANDOM_PLIES_EPD = 2;
constexpr int OPENING_SCORE_LIMIT = 400;   // start lines more lopsided than this are played no further
constexpr int MAX_GAME_PLIES = 400;        // longer games are drawn
constexpr int WIN_SCORE = 1000, WIN_PLIES = 6;
constexpr int DRAW_SCORE = 10, DRAW_PLIES = 12, DRAW_FROM_PLY = 80;
constexpr int MATE_RANGE = 9000;

// splitmix64: a small generator whose stream depends on the seed alone.
struct Random {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % uint64_t(n)); }
};

struct Kept {
    char fen[FEN_BUFFER_SIZE];
    int score;
    uint8_t side;
};

struct WorkerTotals {
    int64_t positions = 0;
    int64_t games = 0;
};

int legal_moves(Position& pos, Move* out) {
    MoveEntry list[MAX_MOVES];
    const MoveEntry* end = gen_all(pos, list);
    int n = 0;
    for (const MoveEntry* e = list; e < end; ++e)
        if (is_legal(pos, pos.side, e->move))
            out[n++] = e->move;
    return n;
}

bool in_check(const Position& pos) { return is_attacked(pos, pos.king_sq[pos.side], pos.side ^ 1); }

// Three times the same position with the same side to move, within the
// plies since the last irreversible move.
bool threefold(const BoardState& b) {
    int seen = 0;
    const int back = std::min<int>(b.pos.halfmove, b.history_count);
    for (int i = 2; i <= back; i += 2)
        if (b.history[b.history_count - i].key == b.pos.key && ++seen == 2)
            return true;
    return false;
}

// Neither side can mate: no pawns, no rooks or queens, at most one minor each.
bool dead_material(const Position& pos) {
    return (pos.mat_sig[WHITE] & 0xf) == 0 && (pos.mat_sig[BLACK] & 0xf) == 0 && pos.npm[WHITE] <= 3 &&
           pos.npm[BLACK] <= 3;
}

// The result for White, 1, 0.5 or 0, when the game is over; -1 otherwise.
double game_over(BoardState& b, int legal_count, bool use_tb) {
    Position& pos = b.pos;
    if (legal_count == 0)
        return in_check(pos) ? (pos.side == WHITE ? 0.0 : 1.0) : 0.5;
    if (pos.halfmove >= 100 || threefold(b) || dead_material(pos))
        return 0.5;
    if (use_tb && popcount(occupancy(pos)) <= tb::tb_largest() && pos.castle_rights == 0) {
        const int wdl = tb::tb_probe_wdl_search(pos, 99, 0, 0);
        if (wdl >= 0) {
            const double mover = wdl == 4 ? 1.0 : wdl == 0 ? 0.0 : 0.5;
            return pos.side == WHITE ? mover : 1.0 - mover;
        }
    }
    return -1;
}

// Sets the game to a start line: a position of the file (or the start
// position) followed by a few random legal plies. False when the line ends
// the game at once.
bool set_start_line(BoardState& b, Random& rng, const std::vector<std::string>& starts) {
    const bool from_file = !starts.empty();
    pos_from_fen(b.pos, from_file ? starts[size_t(rng.below(int(starts.size())))].c_str() : START_FEN);
    Move moves[MAX_MOVES];
    for (int i = 0; i < (from_file ? RANDOM_PLIES_EPD : RANDOM_PLIES_STARTPOS); ++i) {
        const int n = legal_moves(b.pos, moves);
        if (n == 0)
            return false;
        make_move(b.pos, moves[rng.below(n)]);
    }
    return legal_moves(b.pos, moves) > 0;
}

int search_game_position(Move& best) {
    game->search_ply = 1;
    search_start();
    // The search ends at its node budget: a thread waiting beside it would
    // take half a core from every worker.
    run_direct_search();
    best = best_move();
    return result.best_score;
}

// One game; appends its quiet positions to `out`. Returns the number
// written, or -1 when the start line was too lopsided to play.
int play_game(Random& rng, const std::vector<std::string>& starts, bool use_tb, std::FILE* out,
              std::vector<Kept>& kept) {
    BoardState& b = *game;
    if (!set_start_line(b, rng, starts))
        return -1;
    tt_clear();
    kept.clear();
    int winning_plies[2] = {0, 0}, quiet_plies = 0;
    double white_result = -1;
    Move moves[MAX_MOVES];
    for (int ply = 0; !control.quit_flag; ++ply) {
        Position& pos = b.pos;
        white_result = game_over(b, legal_moves(pos, moves), use_tb);
        if (white_result >= 0)
            break;
        if (ply >= MAX_GAME_PLIES) {
            white_result = 0.5;
            break;
        }
        Move best;
        const int score = search_game_position(best);
        if (!best || !is_pseudo_legal(pos, best) || !is_legal(pos, pos.side, best))
            return -1;
        if (ply == 0 && starts.empty() && std::abs(score) > OPENING_SCORE_LIMIT)
            return -1;
        if (is_training_sample(pos, best, score)) {
            Kept k;
            pos_to_fen(pos, k.fen, false);
            k.score = score;
            k.side = pos.side;
            kept.push_back(k);
        }
        // Adjudication: one side far ahead for a while, or a long quiet stretch.
        const int white_score = pos.side == WHITE ? score : -score;
        winning_plies[WHITE] = white_score >= WIN_SCORE ? winning_plies[WHITE] + 1 : 0;
        winning_plies[BLACK] = white_score <= -WIN_SCORE ? winning_plies[BLACK] + 1 : 0;
        quiet_plies = std::abs(score) <= DRAW_SCORE ? quiet_plies + 1 : 0;
        if (winning_plies[WHITE] >= WIN_PLIES || winning_plies[BLACK] >= WIN_PLIES) {
            white_result = winning_plies[WHITE] >= WIN_PLIES ? 1.0 : 0.0;
            break;
        }
        if (ply >= DRAW_FROM_PLY && quiet_plies >= DRAW_PLIES) {
            white_result = 0.5;
            break;
        }
        make_move(pos, best);
        b.search_ply = 1;
    }
    if (white_result < 0)
        return 0;
    for (const Kept& k : kept)
        std::fprintf(out, "%s ce %d; gr %0.1f;\n", k.fen, k.score, k.side == WHITE ? white_result : 1.0 - white_result);
    return int(kept.size());
}

WorkerTotals run_worker(int worker, int64_t wanted, const TuningJob& job, const std::vector<std::string>& starts,
                        bool use_tb, std::FILE* out) {
    Random rng{uint64_t(job.seed) * 0x100000001B3ull + uint64_t(worker) * 0x9E3779B97F4A7C15ull};
    std::vector<Kept> kept;
    kept.reserve(MAX_GAME_PLIES);
    WorkerTotals done;
    int64_t next_report = 10000;
    while (done.positions < wanted && !control.quit_flag) {
        const int written = play_game(rng, starts, use_tb, out, kept);
        if (written < 0)
            continue;
        done.positions += written;
        ++done.games;
        if (done.positions >= next_report) {
            char line[120];
            std::snprintf(line, sizeof line, "info string worker %d: games= %lld, positions= %lld", worker,
                          (long long)done.games, (long long)done.positions);
            emit_line(line);
            next_report += 10000;
        }
    }
    return done;
}

std::vector<std::string> read_start_positions(const char* name, bool& ok) {
    std::vector<std::string> starts;
    ok = true;
    if (std::strcmp(name, "startpos") == 0)
        return starts;
    File in(std::fopen(name, "r"));
    if (!in) {
        ok = false;
        return starts;
    }
    char text[400];
    while (std::fgets(text, sizeof text, in.get())) {
        EpdLine epd;
        if (parse_epd_line(text, epd) != 0 || epd.position.empty())
            continue;
        Position pos{};
        pos_from_fen(pos, epd.position.c_str());
        if (pgn::is_playable(pos))
            starts.push_back(epd.position);
    }
    ok = !starts.empty();
    return starts;
}

bool append_file(std::FILE* out, const char* name) {
    File in(std::fopen(name, "r"));
    if (!in)
        return false;
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
        std::fwrite(buffer, 1, n, out);
    return true;
}

} // namespace

bool is_training_sample(const Position& pos, Move best, int score) {
    if (in_check(pos) || std::abs(score) >= MATE_RANGE)
        return false;
    const int from = move_from(best), to = move_to(best);
    // Castling flags share bits with the promotion flags: only a pawn promotes.
    if (type_of(pos.board[from]) != PAWN)
        return pos.board[to] == 0 || colour_of(pos.board[to]) == pos.side;
    return pos.board[to] == 0 && file_of(from) == file_of(to) && move_flags_of(best) == 0;
}

void make_training_data(const TuningJob& job) {
    char line[400];
    const char* out_name = job.output[0] ? job.output : "traindata.epd";
    bool starts_ok;
    const std::vector<std::string> starts = read_start_positions(job.file, starts_ok);
    if (!starts_ok) {
        std::snprintf(line, sizeof line, "info string no start positions in %.150s", job.file);
        emit_line(line);
        return;
    }
    if (job.count <= 0) {
        std::snprintf(line, sizeof line, "info string nothing to do for %lld positions", (long long)job.count);
        emit_line(line);
        return;
    }
    File out(std::fopen(out_name, "w"));
    if (!out) {
        std::snprintf(line, sizeof line, "info string cannot open %.150s", out_name);
        emit_line(line);
        return;
    }
    if (control.node_limit == 0)
        control.node_limit = DEFAULT_NODES;
    control.time_control_moves = 1;
    control.time_per_move = 100000.0f;
    control.noise = 99999.0f;
    control.thread_count = 1;
    const bool use_tb = tb::init_tablebases(job.tb_path) > 0;
    const int workers = std::max<int>(1, search_settings.Threads);
    std::snprintf(line, sizeof line, "Creating file %.150s: %lld positions, %d workers, %llu nodes per move, seed %u",
                  out_name, (long long)job.count, workers, (unsigned long long)control.node_limit, job.seed);
    emit_line(line);

    const double start = monotonic_seconds();
    WorkerTotals sum;
    if (workers == 1) {
        sum = run_worker(0, job.count, job, starts, use_tb, out.get());
    } else {
        // Each worker writes its own part; the parts are joined in worker order.
        std::vector<pid_t> pids;
        std::vector<int> pipes;
        for (int w = 0; w < workers; ++w) {
            const int64_t wanted = job.count / workers + (w < job.count % workers ? 1 : 0);
            int fd[2];
            if (pipe(fd) != 0)
                break;
            std::fflush(nullptr);
            const pid_t pid = fork();
            if (pid == 0) {
                close(fd[0]);
                std::snprintf(line, sizeof line, "%s.part%d", out_name, w);
                File part(std::fopen(line, "w"));
                WorkerTotals t;
                if (part)
                    t = run_worker(w, wanted, job, starts, use_tb, part.get());
                part.reset();
                const bool sent = write(fd[1], &t, sizeof t) == ssize_t(sizeof t);
                _exit(part || sent ? 0 : 1);
            }
            close(fd[1]);
            if (pid < 0) {
                close(fd[0]);
                break;
            }
            pids.push_back(pid);
            pipes.push_back(fd[0]);
        }
        for (size_t w = 0; w < pids.size(); ++w) {
            WorkerTotals t;
            if (read(pipes[w], &t, sizeof t) == ssize_t(sizeof t)) {
                sum.positions += t.positions;
                sum.games += t.games;
            }
            close(pipes[w]);
            waitpid(pids[w], nullptr, 0);
            std::snprintf(line, sizeof line, "%s.part%d", out_name, int(w));
            append_file(out.get(), line);
            std::remove(line);
        }
    }
    const double seconds = monotonic_seconds() - start;
    std::snprintf(line, sizeof line, "games= %lld, positions= %lld, seconds= %.1f, positions per second= %.0f",
                  (long long)sum.games, (long long)sum.positions, seconds,
                  double(sum.positions) / (seconds > 0 ? seconds : 1));
    emit_line(line);
}

} // namespace zelk
