#include "search/strength.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/see.h"

namespace zelk {

namespace {

struct Anchor {
    int elo, depth, lines, margin, weaker_share;
    int plies_per_doubling;   // tenths of a ply of depth cap per doubling of the move's time
    int elo_per_doubling;     // how much higher the set stands per doubling of the move's time
};

// Each anchor is a set of parameters placed at the strength it was measured
// to have against Debian's Stockfish 15.1 at 10+0.1 (docs/strength.md); the
// last is the full search, at its own measured strength. Between anchors the
// parameters are interpolated; depth 64 stands for no cap. The reference
// plays stronger with more time (far more at 2000 than at 1500), so a
// capped level searches deeper as its time per move grows past the 10+0.1
// one; the sets near the full search gain more than the reference, so they
// stand higher on the scale at longer moves (both measured at 60+0.6).
constexpr std::array<Anchor, 5> ANCHORS{{
    {1000, 2, 4, 300, 500, 0, 0},
    {1535, 4, 4, 200, 400, 0, 0},
    {2047, 9, 4, 90, 300, 9, 0},
    {2380, 14, 4, 25, 120, 9, 73},
    {2550, 64, 1, 0, 0, 0, 47},
}};

int interpolate(int a, int b, int elo, int elo_a, int elo_b) {
    return a + int(std::lround(double(b - a) * double(elo - elo_a) / double(elo_b - elo_a)));
}

uint64_t splitmix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

} // namespace

StrengthLimit strength_for_elo(int elo, int top, float move_time) {
    StrengthLimit s;
    if (elo >= top)
        return s;
    s.on = true;
    const double doublings = move_time > STRENGTH_MOVE_TIME ? std::log2(double(move_time) / STRENGTH_MOVE_TIME) : 0;
    // The table as it stands at this move time.
    std::array<Anchor, ANCHORS.size()> placed = ANCHORS;
    for (Anchor& a : placed)
        a.elo += int(std::lround(a.elo_per_doubling * doublings));
    // The segment holding elo, clamped to the table; below the first anchor
    // and above the last the parameters stay the end anchor's.
    const int e = std::clamp(elo, placed.front().elo, placed.back().elo);
    std::size_t i = 1;
    while (e > placed[i].elo)
        ++i;
    const Anchor& a = placed[i - 1];
    const Anchor& b = placed[i];
    s.depth = interpolate(a.depth, b.depth, e, a.elo, b.elo);
    s.lines = interpolate(a.lines, b.lines, e, a.elo, b.elo);
    s.margin = interpolate(a.margin, b.margin, e, a.elo, b.elo);
    s.weaker_share = interpolate(a.weaker_share, b.weaker_share, e, a.elo, b.elo);
    const int tenths = interpolate(a.plies_per_doubling, b.plies_per_doubling, e, a.elo, b.elo);
    if (s.depth < ANCHORS.back().depth)
        s.depth = std::min(s.depth + int(std::lround(tenths * 0.1 * doublings)), ANCHORS.back().depth);
    if (s.depth >= ANCHORS.back().depth)
        s.depth = 0;
    return s;
}

int choose_line(const int* scores, int count, const StrengthLimit& limit, uint32_t draw) {
    if (!limit.on || count < 2 || int(draw % 1000) >= limit.weaker_share)
        return 0;
    // The other lines within the margin, each by weight margin - gap + 1.
    int weights[8] = {};
    int total = 0, n = 1;
    for (; n < count && n < 8; ++n) {
        const int gap = scores[0] - scores[n];
        if (gap > limit.margin)
            continue;
        weights[n] = limit.margin - gap + 1;
        total += weights[n];
    }
    if (total == 0)
        return 0;
    int pick = int((draw / 1000) % uint32_t(total));
    for (int i = 1; i < n; ++i) {
        if (pick < weights[i])
            return i;
        pick -= weights[i];
    }
    return 0;
}

bool leaves_piece_en_prise(Position& pos, Move m) {
    const int side = pos.side;
    make_move(pos, m);
    bool en_prise = false;
    const Bitboard occ = occupancy(pos);
    for (int sq = 0; sq < 64 && !en_prise; ++sq) {
        const int piece = pos.board[sq];
        if (!piece || colour_of(piece) != side || type_of(piece) == PAWN || type_of(piece) == KING)
            continue;
        en_prise = is_attacked(pos, sq, side ^ 1) && see(pos, side ^ 1, sq, type_of(piece), occ) >= EN_PRISE_LOSS;
    }
    unmake_move(pos);
    return en_prise;
}

uint32_t strength_draw(uint64_t seed, uint64_t key) { return uint32_t(splitmix(seed ^ splitmix(key)) % 1000000u); }

uint64_t next_strength_seed(uint64_t seed) { return splitmix(seed); }

int elo_for_node_rate(double nps) {
    const double elo = nps > 0 ? std::log(nps) * 150 + 1060 : 0;
    return elo > 32767 ? 32767 : int(elo);
}

} // namespace zelk
