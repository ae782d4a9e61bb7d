// The king-bucket network: accumulators kept move by move equal a fresh sum
// along search-like walks (castling, en passant, promotions, null moves, king
// bucket and mirror changes, both colours), the board's symmetries, the
// 16-bit vector loops against the scalar ones, and refused files.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/makemove.h"
#include "helpers.h"
#include "net_file.h"
#include "nn/kbnet.h"
#include "nn/network.h"
#include "nn/simd.h"
#include "run_engine.h"

namespace zelk::test {
namespace {

class KbNet : public ::testing::Test {
protected:
    void SetUp() override { dir = make_temp_dir(); }
    void TearDown() override {
        unload_kb_network();
        unload_networks();
    }

    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = dir + "/" + name;
        write_bytes(path, bytes);
        return path;
    }
    void load(const KbShape& shape, uint32_t seed = 5) {
        ASSERT_EQ(load_network(write("kb.bin", kb_net_file(shape, seed)).c_str()), NnLoad::LOADED);
        ASSERT_TRUE(kb_networks.loaded);
        ASSERT_FALSE(kb_context_ready(ctx));   // a new network voids the accumulators
        ASSERT_TRUE(kb_init_thread(ctx));
    }

    std::string dir;
    KbContext ctx;
};

struct WalkCounts {
    int nodes = 0, castles = 0, en_passant = 0, promotions = 0, nulls = 0, slot_changes = 0;
};

// Evaluates at pos through the context and afresh; records what the move made.
void check_node(KbContext& ctx, Position& pos, WalkCounts& n) {
    ++n.nodes;
    ASSERT_EQ(kb_evaluate(ctx, pos), kb_evaluate_fresh(kb_networks.net, pos)) << board_text(pos);
}

void note_move(const Position& pos, Move m, WalkCounts& n) {
    const int piece = pos.board[move_from(m)], to = move_to(m);
    if (type_of(piece) == KING && move_flags_of(m))
        ++n.castles;
    else if (type_of(piece) == PAWN && to == pos.ep_square)
        ++n.en_passant;
    else if (type_of(piece) == PAWN && (rank_of(to) == 0 || rank_of(to) == 7))
        ++n.promotions;
    if (type_of(piece) == KING) {
        const int side = pos.side;
        const int before = kb_king_slot(kb_networks.net, side, move_from(m));
        const int from = move_from(m);
        const int dest = !move_flags_of(m) ? to : (m & FLAG_SHORT) ? (from & 56) + 6 : (from & 56) + 2;
        const int after = kb_king_slot(kb_networks.net, side, dest);
        n.slot_changes += before != after;
    }
}

// A line of random moves from the position; at each node, now and then, a
// side line of one to three moves (or a null move) is searched and taken back,
// as the search does, before the line goes on.
void walk(KbContext& ctx, Board& b, std::mt19937& rng, int plies, WalkCounts& n) {
    int made = 0;
    for (int ply = 0; ply < plies; ++ply) {
        check_node(ctx, b.pos, n);
        if (::testing::Test::HasFatalFailure())
            return;
        std::vector<Move> moves = legal_moves(b.pos);
        if (moves.empty())
            break;
        if (rng() % 3 == 0) {
            int depth = 0;
            for (; depth < 1 + int(rng() % 3); ++depth) {
                std::vector<Move> side_moves = legal_moves(b.pos);
                if (side_moves.empty())
                    break;
                const Move m = side_moves[rng() % side_moves.size()];
                note_move(b.pos, m, n);
                make_move(b.pos, m);
                check_node(ctx, b.pos, n);
            }
            if (rng() % 4 == 0) {
                ++n.nulls;
                make_null_move(b.pos);
                check_node(ctx, b.pos, n);
                unmake_null_move(b.pos);
            }
            for (; depth > 0; --depth)
                unmake_move(b.pos);
            check_node(ctx, b.pos, n);
        }
        // Promotions and captures first now and then, so that lines reach them.
        Move m = moves[rng() % moves.size()];
        for (Move c : moves)
            if ((b.pos.board[move_to(c)] || move_flags_of(c) || move_to(c) == b.pos.ep_square) && rng() % 2)
                m = c;
        note_move(b.pos, m, n);
        make_move(b.pos, m);
        ++made;
    }
    while (made-- > 0)
        unmake_move(b.pos);
}

TEST_F(KbNet, AccumulatorsKeptMoveByMoveEqualAFreshSum) {
    const KbShape shapes[] = {
        {4, 32, 8, true, 1, 255, 64, 400},    // squared, mirrored, four buckets by rank
        {1, 16, 1, false, 0, 127, 64, 300},   // clipped, no mirror, one bucket
        {8, 48, 3, true, 1, 181, 32, 500},
    };
    std::vector<std::string> fens = {START_FEN, "r3k2r/pPppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPpP/R3K2R w KQkq -",
                                     "8/2P1k3/8/3pP3/8/8/4Kp2/8 w - d6"};
    for (const PerftCase& c : load_perft_suite("perft-chess960.epd")) {
        fens.push_back(c.fen);
        if (fens.size() >= 8)
            break;
    }
    WalkCounts n;
    std::mt19937 rng(7);
    for (const KbShape& shape : shapes) {
        load(shape);
        for (const std::string& fen : fens)
            for (int game = 0; game < 10; ++game) {
                Board b(fen.c_str());
                walk(ctx, b, rng, 70, n);
                if (HasFatalFailure())
                    return;
            }
    }
    EXPECT_GT(n.nodes, 5000);
    EXPECT_GT(n.castles, 10);
    EXPECT_GT(n.en_passant, 3);
    EXPECT_GT(n.promotions, 10);
    EXPECT_GT(n.nulls, 50);
    EXPECT_GT(n.slot_changes, 50);
    EXPECT_GT(ctx.updates, ctx.refreshes);
    std::printf("%d nodes, %d castles, %d en passant, %d promotions, %d null moves, %d king slot changes\n", n.nodes,
                n.castles, n.en_passant, n.promotions, n.nulls, n.slot_changes);
}

// Colours swapped and the board flipped, or (mirrored networks) the files
// reversed: the same score for the side to move.
TEST_F(KbNet, BothColoursAndBothWingsSeeTheSameBoard) {
    load(KbShape{});
    const char* pairs[][3] = {
        {"r1bqk2r/ppp2ppp/2n2n2/3pp3/1b1PP3/2N2N2/PPP2PPP/R1BQKB1R w - -",
         "r1bqkb1r/ppp2ppp/2n2n2/1B1pp3/3PP3/2N2N2/PPP2PPP/R1BQK2R b - -",
         "r2kqb1r/ppp2ppp/2n2n2/3pp3/3PP1b1/2N2N2/PPP2PPP/R1BKQB1R w - -"},
        {"6k1/5ppp/8/8/2Q5/8/1q3PPP/6K1 b - -", "6k1/1Q3ppp/8/2q5/8/8/5PPP/6K1 w - -",
         "1k6/ppp5/8/8/5Q2/8/PPP3q1/1K6 b - -"},
    };
    for (const auto& p : pairs) {
        const int score = kb_evaluate_fresh(kb_networks.net, Board(p[0]).pos);
        EXPECT_EQ(kb_evaluate_fresh(kb_networks.net, Board(p[1]).pos), score) << p[1];
        EXPECT_EQ(kb_evaluate_fresh(kb_networks.net, Board(p[2]).pos), score) << p[2];
    }
}

void check_int16_loops(std::mt19937& rng) {
    const int n = KB_MAX_WIDTH;
    Aligned<int16_t> a = alloc_aligned<int16_t>(n), w = alloc_aligned<int16_t>(n), got = alloc_aligned<int16_t>(n),
                     want = alloc_aligned<int16_t>(n);
    Aligned<int16_t> rows[6];
    const int16_t* ptr[6];
    for (int r = 0; r < 6; ++r) {
        rows[r] = alloc_aligned<int16_t>(n);
        ptr[r] = rows[r].get();
    }
    // Full 16-bit range: the sums and the inner products wrap.
    auto fill = [&](int16_t* p) {
        for (int i = 0; i < n; ++i)
            p[i] = int16_t(rng());
    };
    for (int round = 0; round < 20; ++round) {
        fill(a.get());
        fill(w.get());
        for (auto& r : rows)
            fill(r.get());
        for (int len : {16, 48, 256, KB_MAX_WIDTH}) {
            const int adds = int(rng() % 4), subs = int(rng() % 3);
            vec_update_i16(got.get(), a.get(), ptr, adds, ptr + 3, subs, len);
            scalar::update_i16(want.get(), a.get(), ptr, adds, ptr + 3, subs, len);
            for (int i = 0; i < len; ++i)
                ASSERT_EQ(got[i], want[i]) << simd_name() << " length " << len;
            for (int ceiling : {1, 181, 255, 32767}) {
                ASSERT_EQ(vec_crelu_dot(a.get(), w.get(), len, ceiling), scalar::crelu_dot(a.get(), w.get(), len, ceiling));
                ASSERT_EQ(vec_screlu_dot(a.get(), w.get(), len, ceiling), scalar::screlu_dot(a.get(), w.get(), len, ceiling));
            }
        }
    }
}

TEST(KbSimd, SixteenBitLoopsMatchTheScalarReferenceBitForBit) {
    std::mt19937 rng(3);
    const bool wide = simd_set_wide(true);
    check_int16_loops(rng);
    if (wide) {
        simd_set_wide(false);
        check_int16_loops(rng);
        simd_set_wide(true);
    }
}

// Each damaged file is refused with a message that names the fault, and the
// network in use stays; a good file of the other kind replaces it.
TEST_F(KbNet, DamagedFilesAreRefusedAndTheNetworkInUseStays) {
    load(KbShape{});
    const Board b("r1bqk2r/ppp2ppp/2n2n2/3pp3/1b1PP3/2N2N2/PPP2PPP/R1BQKB1R w KQkq -");
    const int score = kb_evaluate(ctx, b.pos);
    const std::string good = kb_net_file(KbShape{}, 5);
    auto with = [&](size_t offset, std::string bytes) {
        std::string f = good;
        f.replace(offset, bytes.size(), bytes);
        return f;
    };
    std::string flipped = good;
    flipped[good.size() - 7] ^= 0x55;
    const struct {
        std::string bytes;
        const char* message;
    } bad[] = {
        {with(4, std::string("\x02\x00", 2)), "version 2"},
        {with(8, std::string("\x00\x00", 2)), "unsupported ZKN2 sizes: 0 buckets"},
        {with(10, std::string("\x18\x00", 2)), "width 24"},
        {with(14, std::string("\x02", 1)), "activation 2"},
        {with(64 + 60, std::string("\x04", 1)), "names bucket 4 of 4"},
        {good.substr(0, good.size() - 1), "the file holds"},
        {with(24, std::string("\x00\x00\x00\x00", 4)), "the header says 0"},
        {flipped, "checksum"},
        {good.substr(0, 100), "not a complete ZKN2 network header"},
    };
    for (const auto& f : bad) {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(load_network(write("bad.bin", f.bytes).c_str()), NnLoad::BAD_FILE) << f.message;
        const std::string printed = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(printed.find(f.message), std::string::npos) << printed;
        EXPECT_NE(printed.find("the networks in use are kept"), std::string::npos) << printed;
        ASSERT_TRUE(kb_networks.loaded);
        EXPECT_TRUE(kb_context_ready(ctx));
        EXPECT_EQ(kb_evaluate(ctx, b.pos), score);
    }
    // A design network replaces it, and the other way round.
    ASSERT_EQ(load_network(write("design.bin", random_net_file(NetShape{}, 1, 3)).c_str()), NnLoad::LOADED);
    EXPECT_FALSE(kb_networks.loaded);
    EXPECT_EQ(networks.count, 1);
    load(KbShape{});
    EXPECT_EQ(networks.count, 0);
}

} // namespace
} // namespace zelk::test
