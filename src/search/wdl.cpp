#include "search/wdl.h"

#include <algorithm>
#include <cmath>

#include "core/attacks.h"

namespace zelk {

namespace {

// A win is likelier than a loss as the score rises: each is a logistic
// curve, win(s) = 1 / (1 + exp((a - s) / b)) and loss(s) = win(-s), whose
// centre a and width b are quadratics in the material t = m / 80 (m
// clamped to 8 .. 80); a draw is what is left.
constexpr double A[3] = {267.724, -420.785, 224.522};
constexpr double B[3] = {50.516, 121.037, -55.382};
constexpr int MIN_MATERIAL = 8, MAX_MATERIAL = 80;
constexpr int DECIDED = 9000;   // mate and tablebase scores lie beyond

double logistic(double x) { return 1 / (1 + std::exp(-x)); }

} // namespace

int wdl_material(const Position& pos) {
    return pos.npm[WHITE] + pos.npm[BLACK] + popcount(pieces_of(pos, WHITE, PAWN) | pieces_of(pos, BLACK, PAWN));
}

WdlChances wdl_from_score(int score, int material) {
    if (score >= DECIDED)
        return {1000, 0, 0};
    if (score <= -DECIDED)
        return {0, 0, 1000};
    const double t = double(std::clamp(material, MIN_MATERIAL, MAX_MATERIAL)) / MAX_MATERIAL;
    const double a = A[0] + t * (A[1] + t * A[2]);
    const double b = B[0] + t * (B[1] + t * B[2]);
    const int win = int(std::lround(1000 * logistic((score - a) / b)));
    const int loss = std::min(1000 - win, int(std::lround(1000 * logistic((-score - a) / b))));
    return {win, 1000 - win - loss, loss};
}

} // namespace zelk
