#include "core/see.h"

#include <algorithm>

#include "core/attacks.h"

namespace zelk {

// Until the first evaluation set-up the table holds these values.
int16_t see_values[8] = {0, 100, 335, 335, 535, 1035, 10000, 0};

namespace {

// Coarse values: a capture by a piece no dearer than its victim needs no test.
constexpr int EXCHANGE_ORDER[8] = {0, 1, 3, 3, 5, 10, 99, 0};

} // namespace

void reset_see_values() {
    constexpr int16_t VALUES[8] = {0, 100, 350, 350, 550, 1075, 9000, 0};
    std::copy(VALUES, VALUES + 8, see_values);
}

int see(const Position& pos, int side, int sq, int victim_type, Bitboard occ) {
    int from = least_attacker(pos, sq, side, occ);
    if (from == NO_SQUARE)
        return 0;
    if (victim_type == KING)
        return 9999;
    int attacker = type_of(pos.board[from]);
    return std::max(0, see_values[victim_type] - see(pos, side ^ 1, sq, attacker, occ & ~bit(from)));
}

int see_ok(const Position& pos, Move m) {
    const int from = move_from(m), to = move_to(m);
    const int mover = type_of(pos.board[from]);
    const int victim = type_of(pos.board[to]);
    if (EXCHANGE_ORDER[mover] <= EXCHANGE_ORDER[victim])
        return 1;
    if (mover == PAWN && to == pos.ep_square)
        return 1;
    const int side = colour_of(pos.board[from]);
    const int loss = see(pos, side ^ 1, to, mover, occupancy(pos) & ~bit(from));
    return see_values[victim] - loss > -71;
}

} // namespace zelk
