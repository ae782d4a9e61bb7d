// Pawn structure: material, piece-square values and the isolated, weak and
// doubled pawns, cached per thread by pawn key; pawns blocked by a piece
// depend on more than the pawns and are added every time.
#include "core/attacks.h"
#include "core/position.h"
#include "eval/hce.h"
#include "eval/weights.h"

namespace zelk {

namespace {

// The pawn piece-square values depend on which half each king stands on.
constexpr uint64_t WHITE_QUEENSIDE_CODE = 0x00000006C43EB52AULL;
constexpr uint64_t BLACK_QUEENSIDE_CODE = 0x00000003E2571CB4ULL;

ScorePair pawn_structure(const EvalContext& ec, int c) {
    const EvalHandles& w = eval_weights;
    const Position& pos = *ec.pos;
    const Bitboard pawns = pieces_of(pos, c, PAWN);
    const int table = ec.same_wing ? PST_P1 : PST_P2;
    ScorePair total = 0;
    for (Bitboard b = pawns; b;) {
        const int s = pop_lsb(b);
        const int m = s ^ ec.mirror[c];
        total += w.mtl_pawn->value + w.pst[table][m]->value;
        if (ec.pawn_attacks[c] & bit(s))
            total += w.pst[PST_DP][m]->value;
        if (tables.rank_neighbours[s] & pawns)
            total += w.pst[PST_CP][m]->value;
    }
    const Bitboard files = fill_up(pawns) | fill_down(pawns);
    const Bitboard isolated = pawns & ~(shift_west(files) | shift_east(files));
    // A neighbour level with or behind the pawn: its file filled forwards reaches the pawn's rank.
    const Bitboard reach = c == WHITE ? fill_up(pawns) : fill_down(pawns);
    const Bitboard weak = pawns & ~isolated & ~(shift_west(reach) | shift_east(reach));
    const Bitboard doubled = pawns & front_fill(pawns, c);
    total += popcount(isolated) * w.pawn_isolated->value;
    total += popcount(weak) * w.pawn_weak->value;
    total += popcount(doubled) * w.pawn_doubled->value;
    return total;
}

} // namespace

void eval_pawns(EvalContext& ec) {
    const Position& pos = *ec.pos;
    EvalState& t = *ec.state;
    uint64_t key = pos.pawn_key;
    if (ec.mirror[WHITE] == 7)
        key ^= WHITE_QUEENSIDE_CODE;
    if (ec.mirror[BLACK] == 63)
        key ^= BLACK_QUEENSIDE_CODE;
    ++t.pawn_probes;
    PawnHashEntry& e = t.pawn_hash[key & (PAWN_HASH_SIZE - 1)];
    if (e.key == key && ec.ply >= 2) {
        ++t.pawn_hits;
        ec.total[WHITE] += e.total[WHITE];
        ec.total[BLACK] += e.total[BLACK];
    } else {
        e.key = key;
        e.total[WHITE] = pawn_structure(ec, WHITE);
        e.total[BLACK] = pawn_structure(ec, BLACK);
        ec.total[WHITE] += e.total[WHITE];
        ec.total[BLACK] += e.total[BLACK];
    }
    // Blocked by a piece (not a pawn) of either colour.
    const Bitboard pieces = occupancy(pos) & ~(pos.pieces[PAWN] | pos.pieces[8 + PAWN]);
    const ScorePair blocked = eval_weights.pawn_blocked->value;
    ec.total[WHITE] += popcount(pieces_of(pos, WHITE, PAWN) & shift_down(pieces)) * blocked;
    ec.total[BLACK] += popcount(pieces_of(pos, BLACK, PAWN) & shift_up(pieces)) * blocked;
}

} // namespace zelk
