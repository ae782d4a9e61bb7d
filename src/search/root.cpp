#include "search/root.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/attacks.h"
#include "core/hashcodes.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "search/control.h"
#include "io/locks.h"
#include "eval/evaluate.h"
#include "search/info.h"
#include "search/movepick.h"
#include "search/result.h"
#include "search/search.h"
#include "core/see.h"
#include "search/thread.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "tablebase/tbsearch.h"

namespace zelk {

namespace {

constexpr int CAPTURE_BASE[8] = {210, 220, 230, 230, 240, 250, 0, 0};

// The root-move noise generator is shared by the secondary threads; a mutex
// keeps its state consistent.
MwcState root_noise;
std::mutex root_noise_mutex;

uint32_t next_noise(uint32_t seed) {
    std::lock_guard<std::mutex> guard(root_noise_mutex);
    mwc_next(root_noise);
    return root_noise.w + seed + (root_noise.z << 16);
}

MoveEntry* root_list(SearchThread& t) { return t.plies[1].list; }

void score_root_moves(SearchThread& t) {
    const Position& pos = t.pos;
    for (MoveEntry* e = root_list(t); e->move != END_OF_LIST; ++e) {
        const int victim = type_of(e->victim), mover = type_of(e->piece);
        const int to = move_to(e->move), from = move_from(e->move);
        const bool capture = victim || (mover == PAWN && to == pos.ep_square);
        if (capture) {
            const int gain = see_values[victim] - see(pos, pos.side ^ 1, to, mover, occupancy(pos) & ~bit(from));
            e->score = int16_t(gain < -50 ? victim + 4 : CAPTURE_BASE[victim] - mover);
        } else {
            int h = std::clamp(8 + t.main_history[pos.side][butterfly(e->move)] / 512, 0, 64);
            if (e->move & FLAG_MASK)
                h += 60;
            e->score = int16_t(h);
        }
    }
}

// Killers and hash moves belong to one search; the histories and counter
// moves are kept over the game.
void clear_tables(SearchThread& t) {
    for (PlyRecord& r : t.plies) {
        r.hash_move = r.killer1 = r.killer2 = r.evasion_killer = NO_MOVE;
        r.cont = t.cont_sentinel;
        r.excluded = NO_MOVE;
    }
}

void finish_without_search(SearchThread& t, int score) {
    t.best_score = score;
    t.iteration_depth = 1;
    t.completed_depth = 1;
    t.sel_depth = 1;
    if (t.thread_number == 0) {
        result.best_score = score;
        result.completed_depth = 1;
        result.pv[1] = NO_MOVE;
    }
    control.stop_flag = 1;
}

// A search stopped before its first root move was searched still answers:
// with the hash move when the table holds a legal one, else with the first
// root move in order.
void answer_unsearched(SearchThread& t) {
    TTEntry entry;
    entry.depth = -10;
    entry.move = NO_MOVE;
    tt_probe(t.pos, entry);
    Move answer = root_list(t)[0].move;
    for (const MoveEntry* e = root_list(t); e->move != END_OF_LIST; ++e)
        if (entry.depth >= 0 && entry.move && e->move == entry.move)
            answer = e->move;
    result.pv[1] = answer;
    result.pv[2] = NO_MOVE;
}

// The root's tablebase result for this search. With a table move and a
// fifty-move counter above 9 that move is played at once (true: done).
bool probe_root_tables(SearchThread& t) {
    const Position& pos = t.pos;
    tb::TbRootResult root;
    const int r = tb::tb_resolve_root(pos, search_settings.tb_probe_depth, search_settings.SyzygyProbeDepth6, root);
    result.root_tb_result = r;
    const int score = r == 4 ? 9799 : r == 0 ? -9800 : 0;
    result.tb_score[pos.side] = score;
    result.tb_score[pos.side ^ 1] = -score;
    if (!root.move || pos.halfmove <= 9 || !is_pseudo_legal(pos, root.move) || !is_legal(pos, pos.side, root.move))
        return false;
    t.pv[1] = root.move;
    t.pv[2] = NO_MOVE;
    t.best_score = score;
    t.completed_depth = 99;
    t.sel_depth = 99;
    t.iteration_depth = 1;
    ++t.tb_hits;
    control.stop_flag = 1;  // also lets the line print before the noise threshold
    publish_result(t);
    return true;
}

} // namespace

void jitter_root_order(SearchThread& t) {
    for (MoveEntry* e = root_list(t); e->move != END_OF_LIST; ++e) {
        t.seed = next_noise(t.seed);
        e->score = int16_t(e->score - int(t.seed & 15));
    }
}

void publish_result(SearchThread& t) {
    publish_counters(t);
    result.best_score = t.best_score.load();
    if (t.pv[1] != result.pv[1])
        result.change_depth = t.completed_depth.load();
    const int depth = t.completed_depth;
    result.completed_depth = depth;
    std::memcpy(result.pv, t.pv, sizeof result.pv);
    if (depth < MAX_PLY) {
        result.depth_score[depth] = t.best_score.load();
        result.depth_move[depth] = t.pv[1];
    }
    if (depth > 1 && timing.lines == 1)
        print_pv_line(0, 0, depth, t.best_score, t.pv);
}

// The iteration's MultiPV lines, printed together and best first: printed
// one by one, a line could outscore the one above it or repeat a move an
// interface still shows from the iteration before. When a later line
// outscores the first, its move becomes the result. Only the lines asked
// for are shown; the best ones are kept for the strength limit's choice.
void print_multipv_lines(SearchThread& t, int depth, int count) {
    int order[MAX_MULTIPV] = {};
    for (int i = 0; i < count; ++i)
        order[i] = i;
    std::stable_sort(order, order + count, [](int a, int b) { return result.lines[a].score > result.lines[b].score; });
    if (order[0] != 0) {
        const MultiPvLine& top = result.lines[order[0]];
        std::memcpy(t.pv, top.pv, sizeof t.pv);
        t.best_score = top.score;
        publish_result(t);
    }
    // The root list follows, so that the next iteration starts from this order.
    MoveEntry sorted[MAX_MULTIPV];
    for (int i = 0; i < count; ++i)
        sorted[i] = root_list(t)[order[i]];
    std::copy(sorted, sorted + count, root_list(t));
    const int kept = std::min(count, MAX_CHOICE_LINES);
    for (int i = 0; i < kept; ++i)
        result.finished_lines[i] = result.lines[order[i]];
    result.finished_line_count = kept;
    for (int i = 0; i < count && i < timing.multipv; ++i) {
        const MultiPvLine& l = result.lines[order[i]];
        print_pv_line(0, timing.multipv > 1 ? i + 1 : 0, depth, l.score, l.pv);
    }
}

namespace {

// With the strength limit on, the move played may be another of the last
// finished iteration's lines; the draw is fixed by the game's seed and the
// position. A best move found since that iteration stands, and a weaker
// line that leaves a piece en prise is never chosen.
void choose_limited_line(SearchThread& t) {
    const int count = result.finished_line_count;
    if (!timing.strength.on || count < 2 || result.finished_lines[0].pv[1] != result.pv[1])
        return;
    int scores[MAX_CHOICE_LINES];
    for (int i = 0; i < count; ++i) {
        scores[i] = result.finished_lines[i].score;
        if (i > 0 && leaves_piece_en_prise(t.pos, result.finished_lines[i].pv[1]))
            scores[i] = -SCORE_INFINITE;
    }
    const int k = choose_line(scores, count, timing.strength, strength_draw(control.strength_seed, t.pos.key));
    if (k == 0)
        return;
    std::memcpy(result.pv, result.finished_lines[k].pv, sizeof result.pv);
    result.best_score = result.finished_lines[k].score;
}

} // namespace

int root_search(SearchThread& t, int side, int depth, int alpha, int beta, int pv_index) {
    Position& pos = t.pos;
    PlyRecord& root = t.plies[1];
    const int check_sq = checking_square(pos, pos.king_sq[side], side ^ 1, occupancy(pos));
    const bool in_check = check_sq != NO_SQUARE;
    root.depth = int16_t(depth);
    root.in_check = uint16_t(in_check);
    root.check_sq = uint8_t(check_sq);
    root.moves_searched = 0;
    int best = -SCORE_INFINITE;
    const bool quiet_output = t.thread_number == 0 && pv_index == 0;
    const int alpha_in = alpha;
    int running_alpha = alpha;
    const int previous = result.depth_score[std::max(depth - 1, 0)];
    const int root_floor = previous < -9749 ? -9800 : previous - 50;
    Move child[PV_SIZE + 2];

    MoveEntry* e = root_list(t) + pv_index;
    for (; e->move != END_OF_LIST; ++e) {
        pick_best(e);
        root.current = e;
        const Move m = e->move;
        const uint16_t flags = move_flags(pos, side, *e);
        root.move_flags = flags;
        e->score = int16_t(-11000 - root.moves_searched);

        if (t.thread_number == 0 && pv_index == 0 && control.protocol_mode && timing.elapsed > 3.5f &&
            timing.elapsed > control.noise) {
            publish_counters(t);
            SpinGuard guard(locks.info_lock);
            sum_counters();
            if (root.moves_searched == 0)
                print_progress_line();
            if (timing.lines == 1)
                print_currmove_line(m, root.moves_searched + 1);
        }
        int reduction = 0;
        if (t.thread_number == 0 && depth > 5 && !in_check && root.moves_searched > 4 && !(flags & 0x3F) &&
            pos.npm[side] > 0 && (pos.mat_sig[side] & 0xF) && root_floor < best)
            reduction = 1;

        child[2] = NO_MOVE;
        root.cont = t.cont_history[e->piece][move_to(m)];
        make_move(pos, m);
        int score;
        if (root.moves_searched == 0 || depth < 2) {
            score = -search(t, side ^ 1, 2, depth - 1, -beta, -alpha, 0, child);
            e->score = int16_t(std::clamp(score, -32000, 32000));
        } else {
            score = -search(t, side ^ 1, 2, depth - 1 - reduction, -running_alpha - 1, -running_alpha, 1, child);
            if (score > running_alpha && !control.stop_flag) {
                score = -search(t, side ^ 1, 2, depth - 1, -beta, -alpha, 0, child);
                if (score > alpha_in)
                    e->score = int16_t(std::clamp(score, -32000, 32000));
            }
        }
        unmake_move(pos);
        if (control.stop_flag)
            return 0;
        ++root.moves_searched;
        if (score > best) {
            t.best_score = score;
            t.completed_depth = depth;
            running_alpha = std::max(running_alpha, score);
            update_pv(t.pv, 1, m, child);
            best = score;
            if (quiet_output)
                publish_result(t);
        }
        if (best > alpha_in) {
            t.fail_state = best >= beta ? 2 : 0;
            if (best >= beta) {
                ++e;
                break;
            }
        } else {
            t.fail_state = 1;
            if (best >= beta) {
                ++e;
                break;
            }
        }
    }
    // Moves never reached go behind the searched ones, then the list is sorted.
    int k = 0;
    for (MoveEntry* rest = e; rest->move != END_OF_LIST; ++rest)
        rest->score = int16_t(-11500 - k++);
    for (MoveEntry* s = root_list(t) + pv_index; s->move != END_OF_LIST; ++s)
        pick_best(s);
    return best;
}

void search_thread_run(int n) {
    SearchThread* tp = n < control.thread_count ? thread_table[n].load() : nullptr;
    if (!tp)
        return;
    SearchThread& t = *tp;
    Position& pos = t.pos;
    const int side = pos.side;
    const bool main = n == 0;

    clear_tables(t);
    PlyRecord& root = t.plies[1];
    root.alpha = -SCORE_INFINITE;
    root.beta = SCORE_INFINITE;
    root.check_sq = NO_SQUARE;
    root.tb_result = -1;
    t.plies[0].tb_result = -1;
    root.moves_searched = 0;
    t.plies[2].killer1 = t.plies[2].killer2 = NO_MOVE;
    t.seed = uint32_t(std::rand());

    const bool in_check = is_attacked(pos, pos.king_sq[side], side ^ 1);
    const int root_eval = evaluate(t, side, 1, in_check, 0);
    t.best_score = root_eval;
    root.static_eval = int16_t(root_eval);
    t.plies[0].static_eval = int16_t(-root_eval);

    if (main) {
        set_search_params();
        result.best_score = root_eval;
        if (!in_check) {
            t.pv[1] = NO_MOVE;
            result.root_qsearch_score = qsearch(t, side, 1, 0, -SCORE_INFINITE, SCORE_INFINITE, 0, t.pv);
        }
        result.root_tb_result = -1;
    }

    if (no_legal_moves(t)) {
        finish_without_search(t, in_check ? -(SCORE_MATE - 1) : 0);
        if (main)
            publish_result(t);
        return;
    }
    if (main && control.depth_limit < 1) {
        if (control.depth_limit == 0 && !in_check)
            std::memcpy(result.pv, t.pv, sizeof result.pv);
        control.stop_flag = 1;
        return;
    }

    // The legal root moves, scored for the first iteration.
    gen_ply_moves(t);
    MoveEntry* out = root_list(t);
    for (MoveEntry* e = root_list(t); e->move != END_OF_LIST; ++e)
        if (is_legal(pos, side, e->move))
            *out++ = *e;
    out->move = END_OF_LIST;
    t.plies[2].list = out + 1;
    t.plies[3].list = out + 2;
    if (main && out - root_list(t) == 1)
        result.only_one_move = 1;
    score_root_moves(t);
    if (main && probe_root_tables(t))
        return;
    if (!main && result.root_tb_result != -1)
        return;
    root.tb_result = result.root_tb_result;
    t.completed_depth = 0;
    const int depth_limit =
        timing.strength.depth ? std::min<int>(control.depth_limit, timing.strength.depth) : control.depth_limit;

    for (int d = 1;; ++d) {
        int depth = d;
        if (main) {
            result.iteration_depth = d;
        } else {
            const int threads = control.thread_count;
            if (d >= 6 && d < depth_limit && timing.lines == 1) {
                int count = 0;
                for (int i = 0; i < threads; ++i)
                    if (SearchThread* other = thread_table[i]; other && other->iteration_depth >= d)
                        ++count;
                const int step = (threads + 14) >> 2;
                if (count >= step)
                    ++depth;
                if (count >= 3 * step)
                    ++depth;
            }
            depth = std::max(depth, result.iteration_depth.load());
            depth = std::min(depth, depth_limit);
            jitter_root_order(t);
            d = depth;
        }
        t.iteration_depth = depth;

        int lines_done = 0;
        for (int line = 0; line < timing.lines && root_list(t)[line].move != END_OF_LIST; ++line) {
            t.fail_state = 0;
            int best = t.best_score;
            int delta = (std::abs(best) >> 4) + 25;
            if (depth < 6)
                delta += (6 - depth) * 10;
            int alpha = depth < 2 ? -SCORE_INFINITE : best - delta;
            int beta = depth < 2 ? SCORE_INFINITE : best + delta;
            while (!control.stop_flag) {
                if (alpha < -5000)
                    alpha = -SCORE_INFINITE;
                if (beta > 5000)
                    beta = SCORE_INFINITE;
                const int score = root_search(t, side, depth, alpha, beta, line);
                if (control.stop_flag || (alpha < score && score < beta))
                    break;
                if (score <= alpha)
                    alpha -= delta;
                if (score >= beta)
                    beta += delta;
                delta *= 2;
            }
            if (control.stop_flag)
                break;
            if (timing.lines >= 2 && main) {
                MultiPvLine& l = result.lines[line];
                l.score = root_list(t)[line].score;
                std::memcpy(l.pv, t.pv, sizeof l.pv);
                lines_done = line + 1;
            }
        }
        if (lines_done && !control.stop_flag)
            print_multipv_lines(t, depth, lines_done);
        {
            SpinGuard guard(locks.depth_nodes_lock);
            if (depth < MAX_PLY)
                result.depth_nodes[depth] += t.nodes;
        }
        if (main && !control.stop_flag) {
            result.last_finished_depth = depth;
            clock_update();
            result.last_finished_time = timing.elapsed;
        }
        const int best = t.best_score;
        if (control.stop_flag || best >= 9999 - depth || best < depth - 9999 || depth >= depth_limit ||
            t.history_count + depth > 883 || depth + 1 > 68)
            break;
    }
    publish_counters(t);
    if (main) {
        if (!result.pv[1])
            answer_unsearched(t);
        else
            choose_limited_line(t);
        control.stop_flag = 1;
    }
}

} // namespace zelk
