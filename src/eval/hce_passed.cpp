// Passed pawns (their rank, whether they can advance and how freely, the
// kings' distances to their path, support by a pawn) and candidate passers.
// Passed pawns raise the danger value the search reads for the defender.
#include "core/attacks.h"
#include "core/position.h"
#include "eval/hce.h"
#include "eval/weights.h"
#include "core/see.h"

namespace zelk {

namespace {

// By relative rank r (1 = second rank ... 6 = seventh).
constexpr float KING_DISTANCE_FACTOR[8] = {0.0f, 0.16f, 0.18f, 0.36f, 0.57f, 0.78f, 1.0f, 1.0f};
constexpr int16_t DANGER_BY_RANK[8] = {0, 0, 0, 150, 300, 600, 1200, 0};
// Candidate passers by the enemy king's distance to the promotion path.
constexpr float CANDIDATE_FACTOR[8] = {0.0f, 0.15f, 0.3f, 0.45f, 0.6f, 0.75f, 0.9f, 1.0f};

inline int relative_rank(int c, int s) { return c == WHITE ? rank_of(s) : 7 - rank_of(s); }

void passed_pawn(EvalContext& ec, int c, int s) {
    const EvalHandles& w = eval_weights;
    const Position& pos = *ec.pos;
    const int e = c ^ 1, dir = c == WHITE ? 8 : -8;
    const int r = relative_rank(c, s);
    const Bitboard occ = occupancy(pos);
    int t = s + dir;
    if (r == 1 && !(occ & bit(t)))
        t += dir;

    int danger = DANGER_BY_RANK[r] / 4;
    if (!(occ & bit(t)) && see(pos, e, t, PAWN, occ & ~bit(s)) == 0) {
        const Bitboard path = front_fill(bit(s), c);
        const Bitboard contested = path & (colour_pieces(pos, e) | ec.attacks[e]);
        const bool free = !(path & ec.pawn_minor[e]) && (contested & ~(ec.attacks[c] & ~ec.twice[e])) == 0;
        ec.total[c] += w.ppawn_base[r - 1]->value + w.ppawn_mobile[r - 1]->value;
        if (free) {
            ec.total[c] += w.ppawn_free[r - 1]->value;
            ec.free_pawns |= bit(s);
            danger = DANGER_BY_RANK[r];
        } else {
            danger = DANGER_BY_RANK[r] / 2;
        }
    } else {
        ec.total[c] += w.ppawn_base[r - 1]->value;
    }

    const int q = r <= 5 ? t + dir : t;
    const float g = KING_DISTANCE_FACTOR[r];
    ec.total[c] += scaled(g, w.ppawn_fkdist[distance(pos.king_sq[c], q)]);
    ec.total[c] += scaled(g, w.ppawn_ekdist[distance(pos.king_sq[e], q)]);
    if (ec.pawn_attacks[c] & bit(t))
        ec.total[c] += w.ppawn_connected[r - 1]->value;
    ec.danger[e] = int16_t(ec.danger[e] + danger);
}

void candidate(EvalContext& ec, int c, int s) {
    const Position& pos = *ec.pos;
    const int e = c ^ 1;
    const Bitboard path = front_fill(bit(s), c);
    const int support = popcount(tables.rank_neighbours[s] & pieces_of(pos, c, PAWN));
    const int pressure = popcount(path & ec.attacks[e]) + ((path & ec.twice[e]) ? 1 : 0);
    if (pressure > support)
        return;
    const int last = make_square(file_of(s), c == WHITE ? 6 : 1);
    const int d = distance(pos.king_sq[e], last);
    ec.total[c] += scaled(CANDIDATE_FACTOR[d], eval_weights.candidate_passer[relative_rank(c, s) - 1]);
}

} // namespace

void eval_passed_pawns(EvalContext& ec) {
    const Position& pos = *ec.pos;
    const Bitboard all_pawns = pos.pieces[PAWN] | pos.pieces[8 + PAWN];
    const Bitboard occ = occupancy(pos);
    ec.free_pawns = 0;
    for (int c = 0; c < 2; ++c) {
        const Bitboard enemy_pawns = pieces_of(pos, c ^ 1, PAWN);
        for (Bitboard b = pieces_of(pos, c, PAWN); b;) {
            const int s = pop_lsb(b);
            const Bitboard path = front_fill(bit(s), c);
            if (!(tables.passed_span[c][s] & enemy_pawns)) {
                if (!(path & all_pawns))          // only the front pawn of a file
                    passed_pawn(ec, c, s);
            } else if (!(path & enemy_pawns) && relative_rank(c, s) >= 3 && !(path & occ)) {
                candidate(ec, c, s);
            }
        }
    }
}

} // namespace zelk
