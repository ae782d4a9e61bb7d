#include "search/search.h"

#include <algorithm>
#include <cmath>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "search/control.h"
#include "eval/evaluate.h"
#include "search/movepick.h"
#include "search/result.h"
#include "core/see.h"
#include "search/thread.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "tablebase/tbsearch.h"

namespace zelk {

SearchParams params;
int history_bonus[70];

void build_history_bonus() {
    for (int d = 0; d < 70; ++d)
        history_bonus[d] = std::min(search_settings.Hist_bonus * d - 80, int(search_settings.Hist_max)) * (d > 0);
}

void set_search_params() {
    SearchParams& p = params;
    p.FP_depth = search_settings.FP_depth;
    p.SEP_depth = search_settings.SEP_depth;
    p.NMP_depth = search_settings.NMP_depth;
    p.LMP_depth = search_settings.LMP_depth;
    p.LMR_depth = search_settings.LMR_depth;
    for (int i = 0; i < 12; ++i) {
        p.FP_margin[i] = i * search_settings.FP_step;
        p.SEP_margin[i] = i * search_settings.SEP_step;
        p.LMP_count[i] = search_settings.LMP_step + i * i;
    }
    // The depth limits index 12-entry tables.
    p.FP_depth = std::min(p.FP_depth, 11);
    p.SEP_depth = std::min(p.SEP_depth, 11);
    p.LMP_depth = std::min(p.LMP_depth, 11);
    const int sel = std::min<int>(search_settings.Selectivity, 200);
    p.prune = sel > 0;
    if (sel == 0) {
        p.FP_depth = p.SEP_depth = p.LMP_depth = 0;
        p.NMP_depth = p.LMR_depth = 100;
    }
    const SearchSettings& s = search_settings;
    p.razor_margin = s.Razor_margin;
    p.nmp_base = s.NMP_base;
    p.nmp_divisor = std::max<int>(s.NMP_divisor, 1);
    p.nmp_eval_div = std::max<int>(s.NMP_eval_div, 1);
    p.lmr_history = std::max<int>(s.LMR_history, 1);
    p.fp_base = s.FP_base;
    p.see_quiet = s.SEE_quiet;
    p.see_capture = s.SEE_capture;
    p.hp_margin = s.HP_margin;
    p.lmr_built_for = s.Selectivity;
    const double base = s.LMR_base / 100.0, divisor = std::max<int>(s.LMR_divisor, 1) / 100.0;
    for (int d = 0; d < 32; ++d)
        for (int m = 0; m < 32; ++m) {
            const double r = d > 0 && m > 0 ? base + std::log(double(d)) * std::log(double(m)) / divisor : 0;
            p.lmr[d][m] = int(r * sel / 100);
        }
}

void update_pv(Move* pv, int ply, Move move, const Move* child) {
    pv[ply] = move;
    int i = ply + 1;
    for (; i <= PV_SIZE - 1 && child[i]; ++i)
        pv[i] = child[i];
    pv[i < PV_SIZE + 2 ? i : PV_SIZE + 1] = NO_MOVE;
}

int is_draw(SearchThread& t, int ply) {
    const Position& pos = t.pos;
    if (pos.halfmove < 4)
        return 0;
    if (pos.halfmove > 100)
        return 1;
    const int hc = t.history_count;
    int matches = 0;
    // Walk back over the same side's positions; a null move cuts the chain.
    for (int k = 1; k <= pos.halfmove && k <= hc; ++k) {
        const UndoRecord& r = t.history[hc - k];
        if (r.move == NO_MOVE)
            break;
        if (k < 4 || (k & 1))
            continue;
        if (r.key == pos.key) {
            if (k <= ply)
                return 1;
            if (++matches >= 2)
                return 1;
        }
    }
    return 0;
}

int no_legal_moves(SearchThread& t) {
    gen_ply_moves(t);
    for (const MoveEntry* e = t.plies[t.search_ply].list; e->move != END_OF_LIST; ++e)
        if (is_legal(t.pos, t.pos.side, e->move))
            return 0;
    return 1;
}

namespace {

// Counts a node and publishes the counters now and then.
inline void count_node(SearchThread& t) {
    ++t.nodes;
    if ((t.nodes & 1023) == 0)
        publish_counters(t);
}

constexpr int MATE_BOUND = 9799;   // beyond: mate and tablebase scores

inline bool is_decisive(int score) { return score >= MATE_BOUND || score <= -MATE_BOUND; }

// Does the move win at least `threshold` by exchange on its square?
bool see_ge(const Position& pos, Move m, int threshold) {
    const int from = move_from(m), to = move_to(m);
    const int mover = type_of(pos.board[from]);
    if (mover == KING && (m & FLAG_MASK))
        return threshold <= 0;
    int victim = type_of(pos.board[to]);
    if (mover == PAWN && to == pos.ep_square)
        victim = PAWN;
    // The opponent wins back at most the mover.
    if (see_values[victim] - see_values[mover] >= threshold)
        return true;
    if (see_values[victim] < threshold)
        return false;
    const int side = colour_of(pos.board[from]);
    return see_values[victim] - see(pos, side ^ 1, to, mover, occupancy(pos) & ~bit(from)) >= threshold;
}

// Moves a history value toward +-HISTORY_MAX by `bonus`, less the closer it is.
inline void history_update(int16_t& h, int bonus) { h = int16_t(h + bonus - h * std::abs(bonus) / HISTORY_MAX); }

void update_continuations(SearchThread& t, int ply, int piece_to, int bonus) {
    for (const int back : {1, 2, 4}) {
        if (ply - back < 1)
            break;
        int16_t* c = t.plies[ply - back].cont;
        if (c != t.cont_sentinel)
            history_update(c[piece_to], bonus);
    }
}

// The moves a node tried before its best one, whose histories lose what the
// best one gains.
struct TriedMoves {
    const MoveEntry* quiets[64];
    const MoveEntry* captures[32];
    int quiet_count = 0, capture_count = 0;
};

inline int capture_victim(const Position& pos, const MoveEntry& e) {
    return type_of(e.victim) ? type_of(e.victim) : move_to(e.move) == pos.ep_square ? PAWN : 0;
}

// After a cut-off: the best move's histories gain, the others tried lose;
// a quiet best move also becomes the killer and the counter move.
void update_histories(SearchThread& t, int ply, int depth, const MoveEntry& best, bool quiet, const TriedMoves& tried,
                      bool in_check) {
    const Position& pos = t.pos;
    const int bonus = history_bonus[std::min(depth, 69)];
    if (quiet) {
        int16_t* main = t.main_history[pos.side];
        history_update(main[butterfly(best.move)], bonus);
        update_continuations(t, ply, best.piece * 64 + move_to(best.move), bonus);
        for (int i = 0; i < tried.quiet_count; ++i) {
            const MoveEntry& q = *tried.quiets[i];
            history_update(main[butterfly(q.move)], -bonus);
            update_continuations(t, ply, q.piece * 64 + move_to(q.move), -bonus);
        }
        PlyRecord& rec = t.plies[ply];
        if (in_check) {
            rec.evasion_killer = best.move;
        } else if (best.move != rec.killer1) {
            rec.killer2 = rec.killer1;
            rec.killer1 = best.move;
        }
        if (const Move prev = t.last_move)
            t.counter1[pos.board[move_to(prev)]][move_to(prev)] = best.move;
    } else {
        history_update(t.capture_history[best.piece][move_to(best.move)][capture_victim(pos, best)], bonus);
    }
    for (int i = 0; i < tried.capture_count; ++i) {
        const MoveEntry& c = *tried.captures[i];
        history_update(t.capture_history[c.piece][move_to(c.move)][capture_victim(pos, c)], -bonus);
    }
}

// The move loop. `hash_extension` is added to the hash move's depth (singular
// extension). Fail-soft inside, bounds from the window at entry.
int search_moves(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int in_check, int null_window,
                 Move* pv, int hash_extension) {
    Position& pos = t.pos;
    PlyRecord& rec = t.plies[ply];
    pv[ply] = NO_MOVE;
    const bool pv_node = !null_window;
    const bool improving = rec.improving;
    const int eval = rec.static_eval;
    const int alpha_in = alpha;
    const bool prune = params.prune && ply > 1;
    const int lmp_limit = params.LMP_count[std::clamp(depth, 0, 11)] / (2 - improving);
    const Move hash_move = rec.hash_move;
    const bool hash_capture = hash_move && pos.board[move_to(hash_move)];
    const int16_t* h1 = cont_of(t, ply - 1);
    const int16_t* h2 = cont_of(t, ply - 2);
    rec.moves_searched = 0;
    rec.in_check = uint16_t(in_check);
    picker_start(t, ply, 0x70);
    int best = -SCORE_INFINITE;
    Move best_move = NO_MOVE;
    Move child[PV_SIZE + 2];
    TriedMoves tried;
    bool skip_quiets = false;

    while (MoveEntry* e = next_move(t)) {
        const Move m = e->move;
        if (!m || (m == rec.given_hash_move && e != &rec.hash_entry) || m == rec.excluded)
            continue;
        const uint16_t flags = move_flags(pos, side, *e);
        const bool quiet = !(flags & MF_CAPTURE) && !((m & FLAG_MASK) && type_of(e->piece) == PAWN);
        const bool check = (flags & MF_CHECK) != 0;
        if (quiet && skip_quiets && !check)
            continue;
        if (!is_legal(pos, side, m))
            continue;
        rec.move_flags = flags;
        const int piece_to = e->piece * 64 + move_to(m);
        const int history = quiet ? t.main_history[side][butterfly(m)] + h1[piece_to] + h2[piece_to]
                                  : t.capture_history[e->piece][move_to(m)][capture_victim(pos, *e)];
        const int moves = rec.moves_searched;
        int reduction = depth >= params.LMR_depth ? params.lmr[std::clamp(depth, 0, 31)][std::min(moves, 31)] : 0;

        // Pruning of late moves once a move has kept the node from a loss.
        if (prune && best > -MATE_BOUND && pos.npm[side] > 0) {
            const int lmr_depth = std::max(0, depth - 1 - reduction + history / params.lmr_history);
            // Quiet checks are kept by the count and futility rules: they
            // carry the attacks that follow a sacrifice.
            if (quiet) {
                if (!in_check && !check && depth <= params.LMP_depth && moves >= lmp_limit) {
                    skip_quiets = true;
                    continue;
                }
                if (!in_check && !check && lmr_depth <= params.FP_depth &&
                    eval + params.fp_base + params.FP_margin[std::min(lmr_depth, 11)] <= alpha)
                    continue;
                if (lmr_depth <= 4 && history < -params.hp_margin * depth)
                    continue;
                if (!see_ge(pos, m, -params.see_quiet * lmr_depth * lmr_depth))
                    continue;
            } else if (depth <= 6 && !see_ge(pos, m, -params.see_capture * depth)) {
                continue;
            }
        }

        const int extension = m == hash_move ? hash_extension : 0;
        const int new_depth = depth - 1 + extension;
        child[ply + 1] = NO_MOVE;
        rec.cont = t.cont_history[e->piece][move_to(m)];
        make_move(pos, m);
        tt_prefetch(pos.key);
        int score = 0;
        if (moves >= 1 + pv_node && reduction > 0 && (quiet || e->score < 150)) {
            // Late moves are searched shallower; less for a move with a good
            // history, a check, a killer, on the principal variation or when
            // the position improves.
            reduction += !pv_node + !improving + hash_capture;
            reduction -= check;
            if (quiet)
                reduction -= (e->score >= 28000) + history / params.lmr_history;
            reduction = std::clamp(reduction, 0, std::max(new_depth - 1, 0));
            score = -search(t, side ^ 1, ply + 1, new_depth - reduction, -alpha - 1, -alpha, 1, child);
            if (score > alpha && reduction > 0)
                score = -search(t, side ^ 1, ply + 1, new_depth, -alpha - 1, -alpha, 1, child);
        } else if (!pv_node || moves > 0) {
            score = -search(t, side ^ 1, ply + 1, new_depth, -alpha - 1, -alpha, 1, child);
        }
        if (pv_node && (moves == 0 || (score > alpha && score < beta && !control.stop_flag)))
            score = -search(t, side ^ 1, ply + 1, new_depth, -beta, -alpha, 0, child);
        unmake_move(pos);
        if (control.stop_flag)
            return 0;
        ++rec.moves_searched;

        if (score > best) {
            best = score;
            best_move = m;
            pv[ply] = m;
            pv[ply + 1] = NO_MOVE;
            if (score > alpha) {
                if (score >= beta) {
                    if (depth > 0)
                        update_histories(t, ply, depth, *e, quiet, tried, in_check);
                    break;
                }
                update_pv(pv, ply, m, child);
                alpha = score;
            }
        }
        if (quiet && tried.quiet_count < 64)
            tried.quiets[tried.quiet_count++] = e;
        else if (!quiet && tried.capture_count < 32)
            tried.captures[tried.capture_count++] = e;
    }

    if (rec.moves_searched == 0) {
        if (rec.excluded)
            return alpha;
        best = in_check ? ply - SCORE_MATE : 0;
        if (depth >= 0)
            tt_store(pos, ply, depth, NO_MOVE, best, -SCORE_INFINITE, SCORE_INFINITE);
        return best;
    }
    if (depth >= 0 && !rec.excluded)
        tt_store(pos, ply, depth, best_move, best, alpha_in, beta);
    return best;
}

} // namespace

int search(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int null_window, Move* pv) {
    count_node(t);
    if (t.nodes > t.node_limit && t.completed_depth >= 2)
        control.stop_flag = 1;
    if (control.stop_flag)
        return 0;
    if (ply > t.sel_depth)
        t.sel_depth = uint8_t(ply);

    alpha = std::max(alpha, ply - SCORE_MATE);
    beta = std::min(beta, SCORE_MATE - 1 - ply);
    if (alpha >= beta)
        return alpha;

    Position& pos = t.pos;
    PlyRecord& rec = t.plies[ply];
    const Move excluded = rec.excluded;
    rec.node_type = uint16_t(null_window);
    rec.alpha = int16_t(alpha);
    rec.beta = int16_t(beta);
    rec.move_flags = 0;
    rec.moves_searched = 0;
    rec.tb_result = -1;
    rec.hash_move = NO_MOVE;
    t.plies[ply + 1].killer1 = t.plies[ply + 1].killer2 = t.plies[ply + 1].evasion_killer = NO_MOVE;
    // Until this node generates, a child (null move) starts its list where
    // this node's would: an older pointer could lie inside a parent's list.
    t.plies[ply + 1].list = rec.list;
    pv[ply] = pv[ply + 1] = NO_MOVE;
    const int check_sq = checking_square(pos, pos.king_sq[side], side ^ 1, occupancy(pos));
    const int in_check = check_sq != NO_SQUARE;
    rec.check_sq = uint8_t(check_sq);
    rec.in_check = uint16_t(in_check);

    if (pos.halfmove >= 4 && is_draw(t, ply))
        return 0;
    if (ply > 65)
        return in_check ? 0 : evaluate(t, side, ply, 0, 0);

    // Extensions: check, a piece capture into a pawn ending, a late pawn push.
    int extension = 0;
    if (in_check) {
        extension = 1;
    } else if (pos.npm[side] == 0 && t.history_count > 0 && t.history[t.history_count - 1].captured > PAWN) {
        extension = 1;
    } else if (depth <= 2 && (t.plies[ply - 1].move_flags & MF_ADVANCED_PAWN)) {
        extension = 1;
    }
    depth += extension;
    rec.depth = int16_t(depth);

    int tt_score = 0, tt_depth = -1, tt_bound = 0;
    if (depth >= 0 && !excluded) {
        TTEntry e;
        e.depth = -10;
        tt_probe(pos, e);
        ++t.tt_probes;
        if (e.depth >= 0) {
            ++t.tt_hits;
            rec.hash_move = e.move;
            int score = e.score;
            if (score < -MATE_BOUND)
                score += ply;
            else if (score >= MATE_BOUND)
                score -= ply;
            else
                score -= (score * (int(pos.halfmove) - int(e.fifty))) / 256;
            const bool fails_low = e.bound != 2 && score <= alpha;
            const bool fails_high = e.bound != 1 && score >= beta;
            if (null_window && depth <= e.depth && e.depth + pos.halfmove < 100 && (fails_low || fails_high))
                return fails_low ? alpha : beta;
            tt_score = score;
            tt_depth = e.depth;
            tt_bound = e.bound;
        }
    }

    // Tablebases, after a capture or pawn move or below a node that holds a result.
    const int parent_tb = t.plies[ply - 1].tb_result;
    if (!excluded && (pos.halfmove == 0 || parent_tb != -1)) {
        const int r = tb::tb_probe_wdl_search(pos, depth, search_settings.tb_probe_depth,
                                              search_settings.SyzygyProbeDepth6);
        if (r != -1) {
            ++t.tb_hits;
            rec.tb_result = r;
            if (parent_tb == -1) {
                const int score = r == 0 ? ply - 9801 : r == 4 ? 9800 - ply : 0;
                return score >= beta ? score : std::max(alpha, score);
            }
            // The move into this node gave away a result class of the parent.
            if (parent_tb + r >= 6)
                return beta;
        }
    }

    const int eval = evaluate(t, side, ply, in_check, 0);
    rec.static_eval = int16_t(eval);
    // Improving: the static evaluation is above the one of this side two
    // plies earlier (four when that one was in check).
    bool improving = false;
    if (!in_check) {
        if (ply >= 3 && !t.plies[ply - 2].in_check)
            improving = eval > t.plies[ply - 2].static_eval;
        else if (ply >= 5 && !t.plies[ply - 4].in_check)
            improving = eval > t.plies[ply - 4].static_eval;
        else
            improving = true;
    }
    rec.improving = improving;

    if (in_check)
        return search_moves(t, side, ply, depth, alpha, beta, 1, null_window, pv, 0);
    if (depth < 1)
        return qsearch(t, side, ply, depth, alpha, beta, null_window, pv);

    // The hash score, when its bound says so, is a better guess than the
    // static evaluation.
    int guess = eval;
    if (tt_depth >= 0 && !is_decisive(tt_score) && (tt_bound & (tt_score > eval ? 2 : 1)))
        guess = tt_score;

    if (null_window && !excluded && params.prune && !is_decisive(beta)) {
        // Reverse futility: far enough above beta that no move will fall below it.
        if (depth <= params.SEP_depth && guess - params.SEP_margin[std::max(depth - improving, 0)] >= beta)
            return beta;
        // Razoring: far below alpha, only captures can help.
        if (depth <= 3 && guess + params.razor_margin * depth <= alpha) {
            const int score = qsearch(t, side, ply, 0, alpha, alpha + 1, 1, pv);
            if (control.stop_flag)
                return 0;
            if (score <= alpha)
                return score;
        }
        // Null move, reduced more at depth and further above beta; verified
        // with null moves off below it at high depth.
        const Move last = t.history_count >= 1 ? t.history[t.history_count - 1].move : Move(1);
        if (depth >= params.NMP_depth && last && guess >= beta && eval >= beta - 15 * depth + 120 &&
            pos.npm[side] > 0 && ply >= t.nmp_min_ply) {
            const int R = params.nmp_base + depth / params.nmp_divisor + std::min((guess - beta) / params.nmp_eval_div, 3);
            Move child[PV_SIZE + 2];
            child[ply + 1] = NO_MOVE;
            rec.cont = t.cont_sentinel;
            make_null_move(pos);
            tt_prefetch(pos.key);
            const int score = -search(t, side ^ 1, ply + 1, depth - R, -beta, -beta + 1, 1, child);
            unmake_null_move(pos);
            if (control.stop_flag)
                return 0;
            if (score >= beta) {
                if (depth < 14)
                    return beta;
                t.nmp_min_ply = int16_t(ply + 3 * (depth - R) / 4);
                const int verified = search_moves(t, side, ply, depth - R, beta - 1, beta, 0, 1, pv, 0);
                t.nmp_min_ply = 0;
                if (control.stop_flag)
                    return 0;
                if (verified >= beta)
                    return beta;
            }
        }
    }

    // Internal iterative reduction: with no hash move to try first, search
    // one ply less; the next iteration finds the hash move here (when there
    // is a table to keep it).
    if (!rec.hash_move && depth >= 4 && control.use_hash)
        --depth;

    // Singular extension: when every other move fails well below the hash
    // move's score, the hash move is searched deeper (two plies when far
    // below, off the principal variation). When the others still reach
    // beta, two moves refute this node (multi-cut); when only the hash move's
    // own bound does, it is searched a ply shallower.
    int hash_extension = 0;
    if (depth >= 8 && ply > 1 && rec.hash_move && tt_depth >= depth - 3 && (tt_bound & 2) &&
        !is_decisive(tt_score) && ply < 2 * t.iteration_depth.load(std::memory_order_relaxed)) {
        const int singular_beta = tt_score - 2 * depth;
        rec.excluded = rec.hash_move;
        const int score = search_moves(t, side, ply, (depth - 1) / 2, singular_beta - 1, singular_beta, 0, 1, pv, 0);
        rec.excluded = NO_MOVE;
        if (control.stop_flag)
            return 0;
        if (score < singular_beta)
            hash_extension = 1 + (null_window && score < singular_beta - 24);
        else if (singular_beta >= beta)
            return singular_beta;
        else if (tt_score >= beta)
            hash_extension = -1;
    }
    return search_moves(t, side, ply, depth, alpha, beta, 0, null_window, pv, hash_extension);
}

int qsearch(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int null_window, Move* pv) {
    Position& pos = t.pos;
    PlyRecord& rec = t.plies[ply];
    const int eval = rec.static_eval;
    if (eval >= beta)
        return beta;
    int best = std::max(alpha, eval);
    const int margin = depth <= 0 ? 150 : 450;
    rec.moves_searched = 0;
    picker_start(t, ply, depth >= 0 ? 0xA0 : 0x20);
    const Move last = t.last_move;
    Move best_move = NO_MOVE;
    Move child[PV_SIZE + 2];
    const int them = side ^ 1;
    while (MoveEntry* e = next_move(t)) {
        const Move m = e->move;
        if (!m)
            continue;
        const int to = move_to(m);
        if (depth < -3 && to != move_to(last))
            continue;
        const int victim = type_of(e->victim);
        int gain = see_values[victim];
        // Captures into a bare or near-bare ending are never delta-pruned.
        const int pawns_left = int(pos.mat_sig[them] & 0xF) - (victim == PAWN);
        const int npm_left = pos.npm[them] - NPM_POINTS[victim];
        if (victim && pawns_left == 0 && npm_left < 4)
            gain = 5000;
        else if (type_of(e->piece) == PAWN && (side == WHITE ? rank_of(to) >= 6 : rank_of(to) <= 1))
            gain = 1500;
        // Nor are checks; the costlier test is made only for a move the
        // margin would prune.
        if (!(eval + gain > best - margin) && !move_gives_check(pos, side, m))
            continue;
        if (!see_ok(pos, m) || !is_legal(pos, side, m))
            continue;
        child[ply + 1] = NO_MOVE;
        rec.cont = t.cont_history[e->piece][to];
        make_move(pos, m);
        if (depth >= 1)
            tt_prefetch(pos.key);
        const int score = -search(t, them, ply + 1, depth - 1, -beta, -best, null_window, child);
        unmake_move(pos);
        if (control.stop_flag)
            return 0;
        ++rec.moves_searched;
        if (score > best) {
            best_move = m;
            pv[ply] = m;
            pv[ply + 1] = NO_MOVE;
            best = score;
            if (best >= beta)
                break;
            update_pv(pv, ply, m, child);
        }
    }
    if (depth >= 0 && best >= beta)
        tt_store(pos, ply, depth, best_move, best, std::max(alpha, eval), beta);
    return best;
}

} // namespace zelk
