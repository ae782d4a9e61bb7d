#include "search/info.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/attacks.h"
#include "core/hashcodes.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "search/control.h"
#include "io/locks.h"
#include "io/output.h"
#include "search/result.h"
#include "search/wdl.h"
#include "search/thread.h"
#include "search/timeman.h"
#include "search/tt.h"

namespace zelk {

void sum_counters() {
    if (control.search_state.load() & STATE_FINISHED)
        return;
    CounterTotals sum{};
    SearchThread* main = thread_table[0];
    sum.sel_depth = main ? main->sel_depth : 0;
    // Records beyond the thread count are left from earlier searches.
    for (int i = 0; i < control.thread_count && i < MAX_THREADS; ++i) {
        SearchThread* t = thread_table[i];
        if (!t)
            continue;
        uint64_t v[8];
        for (int k = 0; k < 8; ++k)
            v[k] = t->published[k].load(std::memory_order_relaxed);
        sum.nodes += v[0];
        sum.tb_hits += v[1];
        sum.evals += v[2];
        sum.eval_hits += v[3];
        sum.tt_probes += v[4];
        sum.tt_hits += v[5];
        sum.pawn_probes += v[6];
        sum.pawn_hits += v[7];
    }
    totals = sum;
}

namespace {

// How often the position stood before since the last irreversible move. A
// key recorded with an en-passant square that no pawn could take counts as
// the same position without it, as the rules of the game have it (the
// search's keys carry every such square). The pawns have not changed within
// the window, so the position's own pawns tell whether one could take.
int repetitions(const BoardState& b) {
    const Position& pos = b.pos;
    const Bitboard takers = pieces_of(pos, pos.side, PAWN);
    int repeats = 0;
    for (int k = 2; k <= pos.halfmove && k <= b.history_count; k += 2) {
        const UndoRecord& r = b.history[b.history_count - k];
        uint64_t key = r.key;
        if (r.ep_square != NO_SQUARE && !(tables.pawn_attacks[pos.side ^ 1][r.ep_square] & takers))
            key ^= zobrist(0, r.ep_square) & ~(uint64_t(1) << 32);   // bit 32 is the side's, not the code's
        repeats += key == pos.key;
    }
    return repeats;
}

} // namespace

double effective_branching() {
    const int d = result.last_finished_depth;
    if (d < 6 || d >= MAX_PLY)
        return 2.0;
    const double now = double(result.depth_nodes[d]), before = double(result.depth_nodes[d - 4]);
    if (now == 0 || before == 0)
        return 2.0;
    return std::pow(now / before, 0.25);
}

void print_pv_line(int thread_number, int line, int depth, int score, const Move* pv) {
    const float elapsed = timing.elapsed;
    if (!(control.stop_flag || elapsed >= control.noise) || depth == 0 || control.noise == 9999 || !pv[1])
        return;
    SpinGuard guard(locks.info_lock);
    sum_counters();
    float hashfull = 0;
    if (depth >= 7) {
        tt_hashfull();
        hashfull = tt.hashfull;
    }
    if (result.root_tb_result == 4 && score < 9899)
        score = 9800;
    else if (result.root_tb_result == 0 && score > -9900)
        score = -9800;
    else if (result.root_tb_result == 2)
        score = 0;

    // The PV's moves, played out on a scratch copy of the root position and
    // its game: the line ends at a move that is not legal there, or after one
    // that ends the game by the fifty-move rule or a threefold repetition.
    SearchThread* t = thread_table[thread_number];
    static std::unique_ptr<SearchThread> scratch;
    if (!scratch) {
        scratch = std::make_unique<SearchThread>();
        thread_record_init(*scratch);
    }
    Position& line_pos = scratch->pos;
    const SearchThread& source = t ? *t : *game;
    std::memcpy(&line_pos, &source.pos, sizeof line_pos);
    line_pos.owner = scratch.get();
    std::memcpy(scratch->history, source.history, sizeof(UndoRecord) * size_t(source.history_count));
    scratch->history_count = source.history_count;
    std::string moves[66];
    int count = 0;
    for (int i = 1; i <= 66 && pv[i]; ++i) {
        if (!is_pseudo_legal(line_pos, pv[i]) || !is_legal(line_pos, line_pos.side, pv[i]))
            break;
        char text[MOVE_TEXT_SIZE];
        move_to_coord(line_pos, line_pos.side, pv[i], text);
        moves[count++] = text;
        if (scratch->history_count >= HISTORY_CAPACITY - 1)
            break;
        make_move(line_pos, pv[i]);
        scratch->search_ply = 1;
        if (line_pos.halfmove >= 100)
            break;
        if (repetitions(*scratch) >= 2)
            break;
    }
    if (count == 0)
        return;
    const double nodes = double(totals.nodes);
    const double nps = elapsed > 0.001f ? nodes / double(elapsed) : 0;
    std::string text;
    char buffer[6000];
    if (control.protocol_mode) {
        for (int i = 0; i < count; ++i)
            text += (i ? " " : "") + moves[i];
        char multipv[32] = "";
        if (timing.multipv > 1)
            std::snprintf(multipv, sizeof multipv, "multipv %d ", line);
        char score_text[64];
        if (score >= 9900)
            std::snprintf(score_text, sizeof score_text, "mate %d", (10000 - score) / 2);
        else if (score < -9900)
            // Mated at ply p (score p - 10000) is (p - 1) / 2 of our own moves away.
            std::snprintf(score_text, sizeof score_text, "mate -%d", std::max(1, (score + 9999) / 2));
        else
            std::snprintf(score_text, sizeof score_text, "cp %d", score);
        if (search_settings.UCI_ShowWDL) {
            // A draw the tablebases give at the root is as sure as a mate.
            const WdlChances c = result.root_tb_result == 2 ? WdlChances{0, 1000, 0}
                                                            : wdl_from_score(score, wdl_material(source.pos));
            std::snprintf(score_text + std::strlen(score_text), sizeof score_text - std::strlen(score_text),
                          " wdl %d %d %d", c.win, c.draw, c.loss);
        }
        std::snprintf(buffer, sizeof buffer,
                      "info %s%sdepth %d seldepth %d score %s time %.0f nodes %.0f nps %.0f tbhits %.0f hashfull %.0f pv %s",
                      multipv, "", depth, totals.sel_depth - 1, score_text, double(elapsed) * 1000, nodes, nps,
                      double(totals.tb_hits), double(hashfull) * 1000, text.c_str());
    } else {
        const int shown = control.stop_flag ? 32 : 8;
        for (int i = 0; i < count && i < shown; ++i) {
            if (i == 8 || i == 16 || i == 24)
                text += "\n" + std::string(30, ' ');
            else if (i)
                text += ' ';
            text += moves[i];
        }
        std::snprintf(buffer, sizeof buffer, "%02d] %02d%c %5.1f %7.0fK %5d  %s", thread_number, depth,
                      line == 0 ? ' ' : '.', double(elapsed), nodes / 1000, score, text.c_str());
        if (thread_number == 0 && line == timing.multipv && line > 0)
            std::snprintf(buffer + std::strlen(buffer), sizeof buffer - std::strlen(buffer), "\n");
    }
    emit_line(buffer);
}

void print_progress_line() {
    const float elapsed = timing.elapsed;
    tt_hashfull();
    const double nodes = double(totals.nodes);
    char line[200];
    std::snprintf(line, sizeof line, "info depth %d time %.0f nodes %.0f nps %.0f hashfull %.0f",
                  result.iteration_depth.load(), double(elapsed) * 1000, nodes,
                  elapsed > 0.001f ? nodes / double(elapsed) : 0.0, double(tt.hashfull) * 1000);
    emit_line(line);
}

void print_currmove_line(Move m, int number) {
    char from[3], to[3];
    square_name(move_from(m), from);
    square_name(move_to(m), to);
    char line[80];
    std::snprintf(line, sizeof line, "info currmove %s%s currmovenumber %d", from, to, number);
    emit_line(line);
}

} // namespace zelk
