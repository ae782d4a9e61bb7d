// Knights, bishops, rooks and queens: material, piece-square value,
// mobility over safe squares, outposts, trapped pieces, the bishop pair,
// rooks on open files and the seventh rank. Each piece also records its
// attacks for the later sections and its weight against the enemy king.
#include "core/attacks.h"
#include "core/position.h"
#include "eval/hce.h"
#include "eval/weights.h"

namespace zelk {

namespace {

// Share of the mobility weight by number of safe squares.
constexpr float KNIGHT_CURVE[9] = {-0.5f, -0.15f, 0.0f, 0.11f, 0.21f, 0.29f, 0.37f, 0.44f, 0.5f};
constexpr float BISHOP_CURVE[14] = {-0.5f, -0.2f, -0.07f, 0.02f, 0.1f, 0.17f, 0.24f,
                                    0.3f,  0.35f, 0.4f,   0.45f, 0.5f, 0.5f,  0.5f};
constexpr float ROOK_CURVE[15] = {-0.5f, -0.2f, -0.07f, 0.02f, 0.1f, 0.17f, 0.24f, 0.3f,
                                  0.35f, 0.4f,  0.45f,  0.5f,  0.5f, 0.5f,  0.5f};
constexpr float QUEEN_CURVE[28] = {-0.5f, -0.28f, -0.18f, -0.11f, -0.05f, 0.0f, 0.05f, 0.09f, 0.13f, 0.17f,
                                   0.21f, 0.24f,  0.27f,  0.31f,  0.34f,  0.37f, 0.39f, 0.42f, 0.45f, 0.47f,
                                   0.5f,  0.5f,   0.5f,   0.5f,   0.5f,   0.5f,  0.5f,  0.5f};

// Weight a piece of each kind adds to the enemy king's attack weight.
constexpr int ZONE_WEIGHT[8] = {0, 0, 4, 3, 4, 5, 0, 0};
// Piece-square table pairs by type: [same half, different halves].
constexpr PstId PST_OF[8][2] = {{}, {}, {PST_N2, PST_N1}, {PST_B2, PST_B1}, {PST_R2, PST_R1}, {PST_Q2, PST_Q1}};

constexpr Bitboard HALF_OF_ENEMY[2] = {0xFFFFFFFF00000000ULL, 0x00000000FFFFFFFFULL};

// What every piece does: record its attacks (extended covers the queen's
// x-rays through its own sliders), press the enemy king zone, add material
// and piece-square value.
void add_piece(EvalContext& ec, int c, int type, int s, Bitboard a, Bitboard extended, Bitboard& kind_attacks) {
    const EvalHandles& w = eval_weights;
    ec.twice[c] |= extended & ec.attacks[c];
    ec.attacks[c] |= a;
    kind_attacks |= a;
    if (extended & ec.king_zone[c ^ 1])
        ec.king_attack[c ^ 1] += ZONE_WEIGHT[type];
    const EvalWeight* material = type == KNIGHT ? w.mtl_knight
                                 : type == BISHOP ? w.mtl_bishop
                                 : type == ROOK   ? w.mtl_rook
                                                  : w.mtl_queen;
    ec.total[c] += material->value + w.pst[PST_OF[type][ec.same_wing]][s ^ ec.mirror[c]]->value;
}

void add_mobility(EvalContext& ec, int c, int m, float share, const EvalWeight* mobility, const EvalWeight* trapped) {
    ec.total[c] += scaled(share, mobility);
    if (m == 0)
        ec.total[c] += trapped->value;
}

void add_outpost(EvalContext& ec, int c, int s, Bitboard a, const EvalWeight* outpost, const EvalWeight* outpost_atk) {
    if (ec.outposts[c] & bit(s))
        ec.total[c] += scaled((ec.pawn_attacks[c] & bit(s)) ? 1.0f : 0.4f, outpost);
    if (a & ec.outposts[c])
        ec.total[c] += outpost_atk->value;
}

void knights(EvalContext& ec, int c) {
    const EvalHandles& w = eval_weights;
    const Position& pos = *ec.pos;
    for (Bitboard b = pieces_of(pos, c, KNIGHT); b;) {
        const int s = pop_lsb(b);
        const Bitboard a = tables.knight_attacks[s];
        add_piece(ec, c, KNIGHT, s, a, a, ec.knight_attacks[c]);
        const int m = popcount(a & ~colour_pieces(pos, c) & ~ec.pawn_attacks[c ^ 1]);
        add_mobility(ec, c, m, KNIGHT_CURVE[m], w.knight_mobility, w.knight_trapped);
        add_outpost(ec, c, s, a, w.knight_outpost, w.knight_outpost_atk);
    }
}

void bishops(EvalContext& ec, int c) {
    const EvalHandles& w = eval_weights;
    const Position& pos = *ec.pos;
    // Bishops and queens of both colours are transparent: batteries count.
    const Bitboard occ = occupancy(pos) & ~(pos.pieces[BISHOP] | pos.pieces[8 + BISHOP] | pos.pieces[QUEEN] |
                                            pos.pieces[8 + QUEEN]);
    const Bitboard own = pieces_of(pos, c, BISHOP);
    for (Bitboard b = own; b;) {
        const int s = pop_lsb(b);
        const Bitboard a = bishop_attacks(s, occ);
        add_piece(ec, c, BISHOP, s, a, a, ec.bishop_attacks[c]);
        const int m = popcount(a & ~colour_pieces(pos, c) & ~ec.pawn_attacks[c ^ 1]);
        add_mobility(ec, c, m, BISHOP_CURVE[m], w.bishop_mobility, w.bishop_trapped);
        ec.total[c] += popcount(a & CENTRE_16) * w.bishop_mob2->value;
        add_outpost(ec, c, s, a, w.bishop_outpost, w.bishop_outpost_atk);
    }
    if ((own & LIGHT_SQUARES) && (own & DARK_SQUARES))
        ec.total[c] += w.bishop_pair->value;
    if (own) {
        // Rams: White pawns on files b-g, ranks 2-7, with a Black pawn right in
        // front; for Black, the pawns standing in front of them.
        constexpr Bitboard FILES_B_TO_G_RANKS_2_TO_7 = 0x007E7E7E7E7E7E00ULL;
        const Bitboard rams = pieces_of(pos, WHITE, PAWN) & shift_down(pieces_of(pos, BLACK, PAWN)) &
                              FILES_B_TO_G_RANKS_2_TO_7;
        const Bitboard mine = c == WHITE ? rams : shift_up(rams);
        int count = 0;
        if (own & LIGHT_SQUARES)
            count += popcount(mine & LIGHT_SQUARES);
        if (own & DARK_SQUARES)
            count += popcount(mine & DARK_SQUARES);
        ec.total[c] += count * w.bishop_rampawns->value;
    }
}

void rooks(EvalContext& ec, int c) {
    const EvalHandles& w = eval_weights;
    const Position& pos = *ec.pos;
    // Rooks and queens of both colours are transparent.
    const Bitboard occ =
        occupancy(pos) & ~(pos.pieces[ROOK] | pos.pieces[8 + ROOK] | pos.pieces[QUEEN] | pos.pieces[8 + QUEEN]);
    const Bitboard all_pawns = pos.pieces[PAWN] | pos.pieces[8 + PAWN];
    const int enemy_king_rank = rank_of(pos.king_sq[c ^ 1]);
    for (Bitboard b = pieces_of(pos, c, ROOK); b;) {
        const int s = pop_lsb(b);
        const Bitboard a = rook_attacks(s, occ);
        add_piece(ec, c, ROOK, s, a, a, ec.rook_attacks[c]);
        const int m = popcount(a & ~colour_pieces(pos, c) & ~ec.pawn_minor[c ^ 1]);
        add_mobility(ec, c, m, ROOK_CURVE[m], w.rook_mobility, w.rook_trapped);
        const Bitboard file = FILE_A_BB << file_of(s);
        ec.total[c] += popcount(a & file & HALF_OF_ENEMY[c]) * w.rook_mob2->value;
        if (!(file & all_pawns))
            ec.total[c] += w.rook_openfile->value;
        const bool seventh = c == WHITE ? rank_of(s) == 6 && enemy_king_rank >= 6
                                        : rank_of(s) == 1 && enemy_king_rank <= 1;
        if (seventh)
            ec.total[c] += w.rook_7th->value;
    }
}

void queens(EvalContext& ec, int c) {
    const EvalHandles& w = eval_weights;
    const Position& pos = *ec.pos;
    const Bitboard occ = occupancy(pos);
    const Bitboard own_bishops = pieces_of(pos, c, BISHOP), own_rooks = pieces_of(pos, c, ROOK);
    for (Bitboard b = pieces_of(pos, c, QUEEN); b;) {
        const int s = pop_lsb(b);
        Bitboard diagonal = bishop_attacks(s, occ), straight = rook_attacks(s, occ);
        const Bitboard a = diagonal | straight;
        // Seen through an own bishop or rook on the same line.
        if (diagonal & own_bishops)
            diagonal = bishop_attacks(s, occ & ~own_bishops);
        if (straight & own_rooks)
            straight = rook_attacks(s, occ & ~own_rooks);
        add_piece(ec, c, QUEEN, s, a, a | diagonal | straight, ec.queen_attacks[c]);
        const int m = popcount(a & ~colour_pieces(pos, c) & ~ec.pawn_minor_rook[c ^ 1]);
        add_mobility(ec, c, m, QUEEN_CURVE[m], w.queen_mobility, w.queen_trapped);
    }
}

} // namespace

void eval_pieces(EvalContext& ec, int type) {
    for (int c = 0; c < 2; ++c) {
        switch (type) {
        case KNIGHT: knights(ec, c); break;
        case BISHOP: bishops(ec, c); break;
        case ROOK: rooks(ec, c); break;
        default: queens(ec, c); break;
        }
    }
    for (int c = 0; c < 2; ++c) {
        if (type == BISHOP)
            ec.pawn_minor[c] = ec.pawn_attacks[c] | ec.knight_attacks[c] | ec.bishop_attacks[c];
        else if (type == ROOK)
            ec.pawn_minor_rook[c] = ec.pawn_minor[c] | ec.rook_attacks[c];
        else if (type == QUEEN)
            ec.all_but_king[c] = ec.pawn_minor_rook[c] | ec.queen_attacks[c];
    }
}

} // namespace zelk
