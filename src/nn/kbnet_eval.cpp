// King-bucket network inference: the features, the accumulator stack kept
// move by move, the refresh caches and the output head.
#include <cstdlib>
#include <cstring>

#include "core/attacks.h"
#include "nn/kbnet.h"

namespace zelk {

namespace {

// The longest chain of moves replayed onto an older accumulator; beyond it
// a refresh from the cache is cheaper.
constexpr int MAX_REPLAY = 24;
// Rows added or removed per pass over an accumulator.
constexpr int BATCH = 8;
// Scores stay within the design network's range, far from the search's
// tablebase and mate scores.
constexpr int SCORE_LIMIT = 1919;

// The square transform of a perspective: Black's view flipped vertically,
// then mirrored so that the own king stands on files a-d.
int orientation(const KbNetwork& net, int perspective, int king_sq) {
    int flip = perspective == BLACK ? 56 : 0;
    if (net.mirror && file_of(king_sq ^ flip) >= 4)
        flip ^= 7;
    return flip;
}

const int16_t* row_of(const KbNetwork& net, int feature) {
    return net.feature_weights.get() + size_t(feature) * size_t(net.width);
}

// The rows a move adds to and removes from one perspective's accumulator.
struct Change {
    const int16_t* add[3];
    const int16_t* sub[3];
    int adds = 0, subs = 0;
};

void change_of(const KbNetwork& net, const Position& pos, int perspective, const UndoRecord& r, Change& c) {
    if (!r.piece)
        return;   // a null move
    const int ksq = pos.king_sq[perspective] & 63;
    const int colour = colour_of(r.piece), type = type_of(r.piece);
    const int from = move_from(r.move), to = move_to(r.move);
    auto add = [&](int col, int t, int sq) { c.add[c.adds++] = row_of(net, kb_feature(net, perspective, ksq, col, t, sq)); };
    auto sub = [&](int col, int t, int sq) { c.sub[c.subs++] = row_of(net, kb_feature(net, perspective, ksq, col, t, sq)); };
    if (type == KING && move_flags_of(r.move)) {
        const bool is_short = (r.move & FLAG_SHORT) != 0;
        const int rook_from = pos.castle_rook[colour * 2 + (is_short ? 0 : 1)] & 63;
        const int rook_to = is_short ? to - 1 : to + 1;
        sub(colour, KING, from);
        sub(colour, ROOK, rook_from);
        add(colour, KING, to);
        add(colour, ROOK, rook_to);
        return;
    }
    sub(colour, type, from);
    const bool promotes = type == PAWN && (rank_of(to) == 0 || rank_of(to) == 7);
    add(colour, promotes ? promotion_type(r.move) : type, to);
    if (r.captured)
        sub(colour ^ 1, r.captured, to);
    else if (type == PAWN && to == r.ep_square)
        sub(colour ^ 1, PAWN, to ^ 8);
}

// Brings the refresh cache of the perspective's king slot to pos and copies
// it to out.
void refresh(KbContext& ctx, const KbNetwork& net, const Position& pos, int perspective, int16_t* out) {
    const int ksq = pos.king_sq[perspective] & 63;
    KbRefreshEntry& e = ctx.refresh[perspective][kb_king_slot(net, perspective, ksq)];
    const int n = net.width;
    if (!e.valid) {
        std::memcpy(e.values, net.feature_bias.get(), size_t(n) * 2);
        std::memset(e.pieces, 0, sizeof e.pieces);
        e.valid = true;
    }
    const int16_t* add[BATCH];
    const int16_t* sub[BATCH];
    int adds = 0, subs = 0;
    auto flush = [&] {
        vec_update_i16(e.values, e.values, add, adds, sub, subs, n);
        adds = subs = 0;
    };
    for (int colour = 0; colour < 2; ++colour)
        for (int type = PAWN; type <= KING; ++type) {
            Bitboard& was = e.pieces[colour * 6 + type - 1];
            const Bitboard now = pieces_of(pos, colour, type);
            for (Bitboard gone = was & ~now; gone;) {
                sub[subs++] = row_of(net, kb_feature(net, perspective, ksq, colour, type, pop_lsb(gone)));
                if (subs == BATCH)
                    flush();
            }
            for (Bitboard come = now & ~was; come;) {
                add[adds++] = row_of(net, kb_feature(net, perspective, ksq, colour, type, pop_lsb(come)));
                if (adds == BATCH)
                    flush();
            }
            was = now;
        }
    flush();
    std::memcpy(out, e.values, size_t(n) * 2);
    ++ctx.refreshes;
}

uint64_t key_at(const Position& pos, int index, int top) {
    return index == top ? pos.key : pos.owner->history[index].key;
}

// Makes stack[top] valid for the perspective: replays the moves since the
// nearest valid accumulator of the same king slot, or refreshes.
void bring_up(KbContext& ctx, const KbNetwork& net, const Position& pos, int top, int perspective) {
    const BoardState* b = pos.owner;
    const int king = piece_code(perspective, KING);
    const int slot = kb_king_slot(net, perspective, pos.king_sq[perspective] & 63);
    int k = top;
    bool found = false;
    if (b)
        for (int steps = 0; k > 0 && steps < MAX_REPLAY; ++steps) {
            const UndoRecord& r = b->history[k - 1];
            if (r.piece == king && kb_king_slot(net, perspective, move_from(r.move)) != slot)
                break;
            --k;
            const KbAccumulator& e = ctx.stack[k];
            if (e.valid[perspective] && e.key == b->history[k].key) {
                found = true;
                break;
            }
        }
    if (!found) {
        refresh(ctx, net, pos, perspective, ctx.stack[top].values[perspective]);
        ctx.stack[top].valid[perspective] = true;
        return;
    }
    for (; k < top; ++k) {
        KbAccumulator& next = ctx.stack[k + 1];
        const uint64_t key = key_at(pos, k + 1, top);
        if (next.key != key) {
            next.key = key;
            next.valid[0] = next.valid[1] = false;
        }
        Change c;
        change_of(net, pos, perspective, b->history[k], c);
        vec_update_i16(next.values[perspective], ctx.stack[k].values[perspective], c.add, c.adds, c.sub, c.subs,
                       net.width);
        next.valid[perspective] = true;
        ++ctx.updates;
    }
}

int output(const KbNetwork& net, const Position& pos, const int16_t* us, const int16_t* them) {
    const int o = kb_output_bucket(net, popcount(occupancy(pos)));
    const int16_t* w = net.output_weights.get() + size_t(o) * 2 * size_t(net.width);
    const bool squared = net.activation == KbActivation::SCRELU;
    auto dot = squared ? vec_screlu_dot : vec_crelu_dot;
    int64_t v = int64_t(dot(us, w, net.width, net.ceiling)) + dot(them, w + net.width, net.width, net.ceiling);
    if (squared)
        v /= net.ceiling;
    v = (v + net.output_bias[size_t(o)]) * net.eval_scale / (int64_t(net.ceiling) * net.weight_scale);
    return int(v < -SCORE_LIMIT ? -SCORE_LIMIT : v > SCORE_LIMIT ? SCORE_LIMIT : v);
}

} // namespace

int kb_king_slot(const KbNetwork& net, int perspective, int king_sq) {
    const int flip = orientation(net, perspective, king_sq);
    return net.bucket_of[size_t(king_sq ^ flip)] * 2 + ((flip & 7) ? 1 : 0);
}

int kb_feature(const KbNetwork& net, int perspective, int king_sq, int colour, int type, int sq) {
    const int flip = orientation(net, perspective, king_sq);
    const int bucket = net.bucket_of[size_t(king_sq ^ flip)];
    return bucket * KB_PIECE_INPUTS + ((colour != perspective ? 6 : 0) + type - 1) * 64 + (sq ^ flip);
}

int kb_output_bucket(const KbNetwork& net, int pieces) {
    const int o = (pieces - 2) * net.outputs / 32;
    return o < 0 ? 0 : o >= net.outputs ? net.outputs - 1 : o;
}

bool kb_context_ready(const KbContext& ctx) {
    return kb_networks.loaded && ctx.storage && ctx.generation == kb_networks.generation;
}

bool kb_init_thread(KbContext& ctx) {
    const int n = kb_networks.net.width;
    const size_t stack_values = size_t(HISTORY_CAPACITY + 1) * 2, cache_values = size_t(2) * 2 * KB_MAX_BUCKETS;
    if (!ctx.storage || ctx.width < n) {
        ctx.storage = alloc_aligned<int16_t>((stack_values + cache_values) * size_t(n));
        if (!ctx.storage) {
            ctx.width = 0;
            return false;
        }
        ctx.width = n;
    }
    int16_t* p = ctx.storage.get();
    for (KbAccumulator& a : ctx.stack) {
        for (int16_t*& v : a.values) {
            v = p;
            p += n;
        }
        a.key = 0;
        a.valid[0] = a.valid[1] = false;
    }
    for (auto& side : ctx.refresh)
        for (KbRefreshEntry& e : side) {
            e.values = p;
            p += n;
            e.valid = false;
        }
    if (!ctx.jitter_seed)
        ctx.jitter_seed = uint32_t(std::rand()) | 1u;
    ctx.generation = kb_networks.generation;
    return true;
}

int kb_evaluate(KbContext& ctx, const Position& pos) {
    const KbNetwork& net = kb_networks.net;
    const int top = pos.owner ? pos.owner->history_count : 0;
    KbAccumulator& a = ctx.stack[top];
    if (a.key != pos.key) {
        a.key = pos.key;
        a.valid[0] = a.valid[1] = false;
    }
    for (int perspective = 0; perspective < 2; ++perspective)
        if (!a.valid[perspective])
            bring_up(ctx, net, pos, top, perspective);
    return output(net, pos, a.values[pos.side], a.values[pos.side ^ 1]);
}

int kb_evaluate_fresh(const KbNetwork& net, const Position& pos) {
    const size_t n = size_t(net.width);
    Aligned<int16_t> acc = alloc_aligned<int16_t>(2 * n);
    for (int perspective = 0; perspective < 2; ++perspective) {
        int16_t* out = acc.get() + size_t(perspective) * n;
        std::memcpy(out, net.feature_bias.get(), n * 2);
        const int ksq = pos.king_sq[perspective] & 63;
        for (int colour = 0; colour < 2; ++colour)
            for (int type = PAWN; type <= KING; ++type)
                for (Bitboard b = pieces_of(pos, colour, type); b;) {
                    const int16_t* row = row_of(net, kb_feature(net, perspective, ksq, colour, type, pop_lsb(b)));
                    scalar::update_i16(out, out, &row, 1, nullptr, 0, int(n));
                }
    }
    return output(net, pos, acc.get() + size_t(pos.side) * n, acc.get() + size_t(pos.side ^ 1) * n);
}

} // namespace zelk
