#include "search/see.h"

#include "core/attacks.h"

namespace zelk {

int16_t search_piece_value[8] = {0, 100, 335, 335, 535, 1035, 10000, 0};

int see(const Position& pos, int side, int square, int victim, Bitboard occ) {
    const int attacker = least_attacker(pos, square, side, occ);
    if (attacker == NO_SQUARE)
        return 0;
    if (victim == KING)
        return 9999;
    const int gain = search_piece_value[victim] -
                     see(pos, side ^ 1, square, type_of(pos.board[attacker]), occ & ~bit(attacker));
    return gain > 0 ? gain : 0;
}

namespace {

// The exchange as in see, cut after `steps` captures.
int see_steps(const Position& pos, int side, int square, int victim, Bitboard occ, int steps) {
    if (steps == 0)
        return 0;
    const int attacker = least_attacker(pos, square, side, occ);
    if (attacker == NO_SQUARE)
        return 0;
    if (victim == KING)
        return 9999;
    const int gain = search_piece_value[victim] -
                     see_steps(pos, side ^ 1, square, type_of(pos.board[attacker]), occ & ~bit(attacker), steps - 1);
    return gain > 0 ? gain : 0;
}

} // namespace

int see_ok(const Position& pos, Move m) {
    const int from = move_from(m), to = move_to(m);
    const int mover = type_of(pos.board[from]);
    const int victim = type_of(pos.board[to]);
    if (EXCHANGE_ORDER[mover] <= EXCHANGE_ORDER[victim])
        return 1;
    if (mover == PAWN && to == pos.ep_square)
        return 1;
    const Bitboard occ = occupancy(pos) & ~bit(from);
    const int loss = see_steps(pos, pos.side ^ 1, to, mover, occ, 3);
    return search_piece_value[victim] - loss > -71;
}

} // namespace zelk
