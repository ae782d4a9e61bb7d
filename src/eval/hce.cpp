// The frame of the hand-crafted evaluation: early exits, set-up of the
// context, the sections in order, the blend of the two game phases and
// the endgame scale, and the evaluation cache.
#include "eval/hce.h"

#include <algorithm>

#include "core/attacks.h"
#include "core/position.h"
#include "eval/endgames.h"
#include "eval/weights.h"

namespace zelk {

namespace {

// Special cases decided before any term is added; 1 and a value when one applies.
bool early_exit(const Position& pos, int side, int& value) {
    const uint32_t sw = pos.mat_sig[WHITE], sb = pos.mat_sig[BLACK];
    // A board typed without a king (console FEN) has nothing to evaluate.
    if (pos.king_sq[WHITE] == NO_SQUARE || pos.king_sq[BLACK] == NO_SQUARE) {
        value = 0;
        return true;
    }
    // No pawns and at most a lone minor or two knights a side: no mate can be forced.
    if (((sw | sb) & 0xf) == 0 && sw <= 0x10f && sb <= 0x10f && ((sw >> 4) & 0xf) <= 2 && ((sb >> 4) & 0xf) <= 2) {
        value = 0;
        return true;
    }
    return bare_king_ending(pos, side, value);
}

// The 3x3 block around the king, moved off the rim.
Bitboard king_zone_of(int king) {
    constexpr int OFF_RIM[8] = {1, 1, 2, 3, 4, 5, 6, 6};
    const int centre = make_square(OFF_RIM[file_of(king) & 7], OFF_RIM[rank_of(king) & 7]);
    return tables.king_attacks[centre] | bit(centre);
}

void set_up(EvalContext& ec) {
    const Position& pos = *ec.pos;
    ec.eg_weight = float(1.0 - std::min(1.0, (pos.npm[WHITE] + pos.npm[BLACK]) * 0.017));
    const int wk = pos.king_sq[WHITE], bk = pos.king_sq[BLACK];
    const bool w_queenside = file_of(wk) < 4, b_queenside = file_of(bk) < 4;
    ec.mirror[WHITE] = w_queenside ? 7 : 0;
    ec.mirror[BLACK] = b_queenside ? 63 : 56;
    ec.same_wing = w_queenside == b_queenside;
    for (int c = 0; c < 2; ++c) {
        const Bitboard pawns = pieces_of(pos, c, PAWN);
        const Bitboard forward = shift_forward(pawns, c);
        const Bitboard west = shift_west(forward), east = shift_east(forward);
        const Bitboard king = tables.king_attacks[pos.king_sq[c]];
        ec.king_zone[c] = king_zone_of(pos.king_sq[c]);
        ec.pawn_attacks[c] = west | east;
        ec.attacks[c] = west | east | king;
        ec.twice[c] = (west & east) | ((west | east) & king);
        ec.knight_attacks[c] = ec.bishop_attacks[c] = ec.rook_attacks[c] = ec.queen_attacks[c] = 0;
        ec.front_span[c] = front_fill(pawns, c);
        ec.front_attack_span[c] = shift_west(ec.front_span[c]) | shift_east(ec.front_span[c]);
        ec.total[c] = 0;
        ec.danger[c] = 0;
    }
    // Outposts: files b-g, ranks 4-6 of the owner, out of reach of enemy pawns.
    ec.outposts[WHITE] = 0x00007E7E7E000000ULL & ~ec.front_attack_span[BLACK];
    ec.outposts[BLACK] = 0x0000007E7E7E0000ULL & ~ec.front_attack_span[WHITE];
    for (int c = 0; c < 2; ++c) {
        // Enemy pawns one step from the zone count before any piece does.
        const Bitboard enemy_fronts = shift_forward(pieces_of(pos, c ^ 1, PAWN), c ^ 1);
        ec.king_attack[c] = 2 * popcount(enemy_fronts & ec.king_zone[c]);
    }
    ec.hung = ec.free_pawns = 0;
}

inline void begin_section(EvalContext& ec) {
    ec.section_start[WHITE] = ec.total[WHITE];
    ec.section_start[BLACK] = ec.total[BLACK];
}

inline void end_section(EvalContext& ec, EvalSection s) {
    ec.section[s][WHITE] = ec.total[WHITE] - ec.section_start[WHITE];
    ec.section[s][BLACK] = ec.total[BLACK] - ec.section_start[BLACK];
}

} // namespace

int hce_evaluate(EvalState& t, const Position& pos, int side, int ply, int in_check, int trace, int16_t threat[2]) {
    EvalContext& ec = t.eval_context;
    ++t.evals;
    ec.pos = &pos;
    ec.state = &t;
    ec.ply = uint8_t(ply);
    ec.trace = uint8_t(trace);
    if (in_check)
        return -10001;
    int special;
    if (early_exit(pos, side, special)) {
        // No danger measured: clear what an earlier position left at this ply.
        threat[WHITE] = threat[BLACK] = 0;
        return special;
    }

    EvalCacheEntry& cached = t.eval_cache[(uint32_t(pos.key) & 0x7ffe) + side];
    if (cached.key == pos.key && ply > 1) {
        ++t.eval_hits;
        threat[WHITE] = cached.danger[WHITE];
        threat[BLACK] = cached.danger[BLACK];
        return cached.score;
    }

    set_up(ec);
    begin_section(ec);
    eval_pawns(ec);
    end_section(ec, SEC_PAWNS);
    constexpr EvalSection PIECE_SECTIONS[4] = {SEC_KNIGHTS, SEC_BISHOPS, SEC_ROOKS, SEC_QUEENS};
    for (int type = KNIGHT; type <= QUEEN; ++type) {
        begin_section(ec);
        eval_pieces(ec, type);
        end_section(ec, PIECE_SECTIONS[type - KNIGHT]);
    }
    begin_section(ec);
    eval_king(ec);
    end_section(ec, SEC_KING);
    begin_section(ec);
    eval_passed_pawns(ec);
    end_section(ec, SEC_PPAWNS);
    begin_section(ec);
    eval_threats(ec);
    end_section(ec, SEC_THREATS);
    begin_section(ec);
    ec.total[pos.side] += eval_weights.stm_bonus->value;
    end_section(ec, SEC_SPECIAL);

    const ScorePair d = ec.total[WHITE] - ec.total[BLACK];
    const double eg = ec.eg_weight;
    const int s = int(eg * eg_of(d) + (1.0 - eg) * mg_of(d));
    float sf = 1.0f;
    if (pos.npm[WHITE] <= 10 && pos.npm[BLACK] <= 10)
        sf = scale_factor(pos, s);
    int result = int(sf * float(s));
    if (side == BLACK)
        result = -result;

    cached.key = pos.key;
    cached.score = int16_t(result);
    cached.danger[WHITE] = threat[WHITE] = ec.danger[WHITE];
    cached.danger[BLACK] = threat[BLACK] = ec.danger[BLACK];
    if (trace)
        print_trace(ec, pos.side == side ? result : -result, sf);
    return result;
}

} // namespace zelk
