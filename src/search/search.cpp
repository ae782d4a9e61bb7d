#include "search/search.h"

#include <algorithm>
#include <cmath>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "search/control.h"
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
        history_bonus[d] = int(std::lround(std::pow(double(d), 0.65) * 16));
}

void set_search_params() {
    SearchParams& p = params;
    p.FP_depth = search_settings.FP_depth;
    p.SEP_depth = search_settings.SEP_depth;
    p.NMP_depth = search_settings.NMP_depth;
    p.LMP_depth = search_settings.LMP_depth;
    p.LMR_depth = search_settings.LMR_depth;
    p.BP_margin = 15;
    for (int i = 0; i < 12; ++i) {
        p.FP_margin[i] = i * search_settings.FP_step;
        p.SEP_margin[i] = i * search_settings.SEP_step;
        p.LMP_count[i] = i * search_settings.LMP_step;
    }
    // The depth limits index 12-entry tables.
    p.FP_depth = std::min(p.FP_depth, 11);
    p.SEP_depth = std::min(p.SEP_depth, 11);
    p.LMP_depth = std::min(p.LMP_depth, 11);
    const int sel = std::min<int>(search_settings.Selectivity, 200);
    if (sel < 100)
        p.BP_margin = ((100 - sel) >> 1) + 15;
    if (sel == 0) {
        p.FP_depth = p.SEP_depth = p.LMP_depth = 0;
        p.NMP_depth = p.LMR_depth = 100;
        p.BP_margin = 5000;
    }
    if (search_settings.Selectivity != p.lmr_built_for) {
        p.lmr_built_for = search_settings.Selectivity;
        for (int d = 0; d < 32; ++d)
            for (int m = 0; m < 32; ++m) {
                float r = 0;
                if (d >= 3 && m > 0) {
                    float x = float(std::log(double(d)) * std::log(double(m)) * 0.44 - 0.5);
                    x = float(double(x) * sel * 0.01);
                    r = !(x > 0) ? 0 : x > 3.0f ? 3.0f : x;
                }
                p.lmr[d][m] = r;
            }
    }
    timing.limit_nps = control.target_nps < control.calibration_nps - 20;
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

inline bool has_pieces_and_pawns(const Position& pos, int side) {
    return pos.npm[side] > 0 && (pos.mat_sig[side] & 0xF) != 0;
}

// Counts a node, publishes counters now and then, and slows the search to
// the target node rate when strength is limited.
inline void count_node(SearchThread& t) {
    ++t.nodes;
    if ((t.nodes & 1023) == 0)
        publish_counters(t);
    if (timing.limit_nps && result.iteration_depth > 1 && !control.stop_flag) {
        for (;;) {
            clock_update();
            if (double(t.nodes) / (double(timing.elapsed) + 0.0001) <= control.target_nps)
                break;
            wait_ms(1);
            check_time();
            if (!timing.limit_nps || result.iteration_depth < 2 || control.stop_flag)
                break;
        }
    }
}

// What the opponent threatens, for static evaluation pruning when the network
// evaluates (it measures no danger values): 350 for an own pawn on its sixth
// or seventh rank free to advance, and the exchange value of the opponent's
// best capture of an own queen, or of a pawn, minor or rook when eval falls
// short of beta by less than that piece's value.
int network_threat(const Position& pos, int side, int eval, int beta) {
    const Bitboard empty = ~occupancy(pos);
    const Bitboard pawns = pieces_of(pos, side, PAWN);
    const Bitboard advanced = side == WHITE ? pawns & 0x00FFFF0000000000ULL & (empty >> 8)
                                            : pawns & 0x0000000000FFFF00ULL & (empty << 8);
    int threat = advanced ? 350 : 0;
    Bitboard targets = pieces_of(pos, side, QUEEN);
    if (eval < beta + see_values[PAWN])
        targets |= pawns;
    if (eval < beta + see_values[KNIGHT])
        targets |= pieces_of(pos, side, KNIGHT) | pieces_of(pos, side, BISHOP);
    if (eval < beta + see_values[ROOK])
        targets |= pieces_of(pos, side, ROOK);
    while (targets) {
        const int sq = pop_lsb(targets);
        threat = std::max(threat, see(pos, side ^ 1, sq, type_of(pos.board[sq]), ~empty));
    }
    return threat;
}

// Does a late quiet move create a threat worth searching?
bool creates_threat(const Position& pos, int side, const MoveEntry& e) {
    const int from = move_from(e.move), to = move_to(e.move);
    const int type = type_of(e.piece);
    const int them = side ^ 1;
    const Bitboard* enemy = pos.pieces + them * 8;
    const Bitboard* own = pos.pieces + side * 8;
    const int k = pos.king_sq[them];
    const Bitboard zone = tables.king_attacks[k];
    const Bitboard occ_before = occupancy(pos);
    const Bitboard occ = (occ_before & ~bit(from)) | bit(to);
    switch (type) {
    case PAWN:
        return (tables.pawn_attacks[side][to] & (enemy[KNIGHT] | enemy[BISHOP] | enemy[ROOK] | enemy[QUEEN] | zone)) != 0;
    case KNIGHT:
        return (tables.knight_attacks[to] & (zone | enemy[ROOK] | enemy[QUEEN])) != 0;
    case KING:
        return false;
    default:
        break;
    }
    // King-zone test along one kind of line: a zone square newly attacked
    // from the target (own sliders of that kind may stand in between) that
    // another own piece also attacks, the mover lifted from its origin.
    auto zone_test = [&](bool diagonal) {
        const Bitboard see_through = diagonal ? (own[BISHOP] | own[QUEEN]) : (own[ROOK] | own[QUEEN]);
        const Bitboard blockers = occ & ~see_through;
        const Bitboard from_to = diagonal ? bishop_attacks(to, blockers) : rook_attacks(to, blockers);
        const Bitboard from_origin = diagonal ? bishop_attacks(from, blockers) : rook_attacks(from, blockers);
        Bitboard fresh = zone & from_to & ~from_origin & ~bit(from);
        Position lifted = pos;
        lifted.pieces[side * 8] &= ~bit(from);
        lifted.pieces[e.piece] &= ~bit(from);
        while (fresh) {
            const int s = pop_lsb(fresh);
            if (is_attacked(lifted, s, side, occ & ~bit(from)))
                return true;
        }
        return false;
    };
    if (type == BISHOP || type == ROOK) {
        const bool diagonal = type == BISHOP;
        const Bitboard targets = diagonal ? enemy[ROOK] | enemy[QUEEN] : enemy[QUEEN];
        const Bitboard now = (diagonal ? bishop_attacks(to, occ) : rook_attacks(to, occ)) & targets;
        const Bitboard before = (diagonal ? bishop_attacks(from, occ_before) : rook_attacks(from, occ_before)) & targets;
        if (now & ~before)
            return true;
        return zone_test(diagonal);
    }
    return zone_test(false) || zone_test(true);
}

void update_quiet_history(SearchThread& t, int ply, int depth, const MoveEntry& e, bool raised_alpha, bool in_check) {
    const int b = history_bonus[std::min(depth, 69)];
    const Move prev = t.last_move;
    const int prev_piece = prev ? t.pos.board[move_to(prev)] : 0;
    const int p = type_of(prev_piece);
    const int to = move_to(e.move);
    int16_t* entries[2] = {&t.history_table[0][e.piece][to], &t.history_table[p][e.piece][to]};
    if (!raised_alpha) {
        for (int16_t* h : entries)
            *h = int16_t(*h - (*h * b) / 2048);
        return;
    }
    for (int16_t* h : entries)
        *h = int16_t(*h + ((16384 - *h) * b) / 1024);
    PlyRecord& rec = t.plies[ply];
    if (!in_check) {
        if (e.move != rec.killer1) {
            rec.killer2 = rec.killer1;
            rec.killer1 = e.move;
        }
    } else {
        rec.evasion_killer = e.move;
    }
    if (prev) {
        Move& c1 = t.counter1[prev_piece][move_to(prev)];
        if (c1 != e.move) {
            t.counter2[prev_piece][move_to(prev)] = c1;
            c1 = e.move;
        }
    }
    const Move before_prev = t.history_count >= 2 ? t.history[t.history_count - 2].move : NO_MOVE;
    if (before_prev)
        t.follow_up[t.pos.board[move_to(before_prev)]][move_to(before_prev)] = e.move;
}

int search_moves(SearchThread& t, int side, int ply, int depth, int alpha, int beta, int in_check, int null_window,
                 Move* pv) {
    Position& pos = t.pos;
    PlyRecord& rec = t.plies[ply];
    pv[ply] = NO_MOVE;
    const bool lmp = depth > 0 && depth <= params.LMP_depth && !in_check && null_window && !rec.iid;
    const int row = std::min(depth, 31);
    const int alpha_in = alpha;
    rec.moves_searched = 0;
    rec.in_check = uint16_t(in_check);
    picker_start(t, ply, 0x70);
    int best = -SCORE_INFINITE;
    Move best_move = NO_MOVE;
    Move child[PV_SIZE + 2];

    while (MoveEntry* e = next_move(t)) {
        const Move m = e->move;
        if (!m || (m == rec.given_hash_move && e != &rec.hash_entry))
            continue;
        if (!is_legal(pos, side, m))
            continue;
        const uint16_t flags = move_flags(pos, side, *e);
        rec.move_flags = flags;
        int reduction = 0;

        if (best >= -9799 && lmp) {
            if (!(flags && depth >= 2)) {
                bool prune = false;
                if (rec.moves_searched >= params.LMP_count[depth] + e->score / 4 && !flags)
                    prune = !creates_threat(pos, side, *e);
                if (!prune && !see_ok(pos, m))
                    prune = true;
                if (prune)
                    continue;
            }
        }
        if (depth >= params.LMR_depth && best >= -9799) {
            float r = params.lmr[row][std::min<int>(rec.moves_searched, 31)];
            if (null_window)
                r += 1.2f;
            if (e->score > 31)
                r -= 1.0f;
            if (row + t.search_ply < t.iteration_depth - 5)
                r *= 0.7f;
            int R = int(std::lroundf(r));
            R = std::clamp(R, 0, 4);
            if (R > 1 && flags)
                R = 1;
            // A bad move, capture or not, loses material by exchange on its square.
            if (!see_ok(pos, m))
                ++R;
            if (depth - R <= 0)
                R = depth - 1;
            reduction = R;
        }
        rec.reduction = int8_t(reduction);

        const bool quiet = !(flags & MF_CAPTURE);
        child[ply + 1] = NO_MOVE;
        make_move(pos, m);
        tt_prefetch(pos.key);
        int score;
        if (rec.moves_searched == 0 || depth <= 1) {
            score = -search(t, side ^ 1, ply + 1, depth - 1, -beta, -alpha, null_window, child);
        } else {
            score = -search(t, side ^ 1, ply + 1, depth - reduction - 1, -alpha - 1, -alpha, 1, child);
            if (score > alpha && !control.stop_flag) {
                rec.research = 1;
                rec.reduction = 0;
                score = -search(t, side ^ 1, ply + 1, depth - 1, -beta, -alpha, null_window, child);
                rec.research = 0;
            }
        }
        unmake_move(pos);
        if (control.stop_flag)
            return 0;
        ++rec.moves_searched;

        if (quiet && depth > 0)
            update_quiet_history(t, ply, depth, *e, score > alpha, in_check);

        if (score > best) {
            best = score;
            best_move = m;
            pv[ply] = m;
            pv[ply + 1] = NO_MOVE;
            if (score > alpha) {
                if (score >= beta)
                    break;
                update_pv(pv, ply, m, child);
                alpha = score;
            }
        }
    }

    int store_alpha = alpha_in, store_beta = beta;
    if (rec.moves_searched == 0) {
        best = in_check ? ply - SCORE_MATE : 0;
        store_alpha = -SCORE_INFINITE;
        store_beta = SCORE_INFINITE;
    }
    if (depth >= 0)
        tt_store(pos, ply, depth, best_move, best, store_alpha, store_beta);
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
    rec.node_type = uint16_t(null_window);
    rec.alpha = int16_t(alpha);
    rec.beta = int16_t(beta);
    rec.in_check = rec.iid = rec.research = 0;
    rec.reduction = 0;
    rec.move_flags = rec.futility = 0;
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

    int entry_depth = 0;
    bool fails_low = false, fails_high = false;
    if (depth >= 0) {
        TTEntry e;
        e.depth = -10;
        tt_probe(pos, e);
        ++t.tt_probes;
        if (e.depth >= 0) {
            ++t.tt_hits;
            rec.hash_move = e.move;
            int score = e.score;
            if (score < -9799)
                score += ply;
            else if (score >= 9799)
                score -= ply;
            else
                score -= (score * (int(pos.halfmove) - int(e.fifty))) / 256;
            fails_low = e.bound != 2 && score <= alpha;
            fails_high = e.bound != 1 && score >= beta;
            entry_depth = e.depth;
            if (null_window && depth <= e.depth && e.depth + pos.halfmove < 100 && (fails_low || fails_high))
                return fails_low ? alpha : beta;
        }
    }

    // Tablebases, after a capture or pawn move or below a node that holds a result.
    const int parent_tb = t.plies[ply - 1].tb_result;
    if (pos.halfmove == 0 || parent_tb != -1) {
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

    if (in_check)
        return search_moves(t, side, ply, depth, alpha, beta, 1, null_window, pv);
    if (depth < 1)
        return qsearch(t, side, ply, depth, alpha, beta, null_window, pv);

    if (depth <= params.FP_depth && eval <= alpha - params.FP_margin[depth] && null_window && alpha <= 9798 &&
        !fails_high) {
        rec.futility = 1;
        return qsearch(t, side, ply, depth, alpha, beta, null_window, pv);
    }

    if (null_window && eval >= beta + params.BP_margin && !fails_low && !t.plies[ply - 1].research &&
        has_pieces_and_pawns(pos, side) && beta >= -9799) {
        if (depth <= params.SEP_depth) {
            const int threat = network_active() ? network_threat(pos, side, eval, beta) : rec.threat[side];
            if (eval - threat >= beta + params.SEP_margin[depth])
                return beta;
        }
        const Move last = t.history_count >= 1 ? t.history[t.history_count - 1].move : Move(1);
        const Move before = t.history_count >= 2 ? t.history[t.history_count - 2].move : Move(1);
        if (depth >= params.NMP_depth && last && before) {
            int R = depth <= 9 ? 3 : pos.npm[side] < 4 ? 3 : 4;
            if (depth - R <= 0)
                --R;
            rec.reduction = int8_t(R);
            Move child[PV_SIZE + 2];
            child[ply + 1] = NO_MOVE;
            make_null_move(pos);
            tt_prefetch(pos.key);
            const int score = -search(t, side ^ 1, ply + 1, depth - R - 1, -beta, -alpha, null_window, child);
            unmake_null_move(pos);
            if (control.stop_flag)
                return 0;
            if (score >= beta) {
                if (depth <= 5)
                    return beta;
                depth -= 5;
            }
        }
    }

    const int target = null_window ? (depth > 8 ? depth - 5 : depth - 4) : depth - 3;
    if (target >= 1 && target > entry_depth && eval >= alpha - 199) {
        rec.iid = 1;
        search_moves(t, side, ply, target, alpha, beta, 0, null_window, pv);
        rec.iid = 0;
        if (control.stop_flag)
            return 0;
        rec.hash_move = pv[ply];
    }
    return search_moves(t, side, ply, depth, alpha, beta, 0, null_window, pv);
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
