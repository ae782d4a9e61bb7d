// Probes of hand-picked positions against documented values, first probes
// racing on threads, and the bridge to the search: when probes are allowed,
// the root probe's move, result class and list of moves that keep the result.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "core/makemove.h"
#include "helpers.h"
#include "run_engine.h"
#include "tablebase/tbcore.h"
#include "tablebase/tbprobe.h"
#include "tablebase/tbsearch.h"
#include "tb_helpers.h"

namespace zelk::test {
namespace {

class Bridge : public RealTables {};

// WDL of the side to move after m (the mover's opponent).
int wdl_after(Position& pos, Move m) {
    make_move(pos, m);
    int success;
    const int v = tb::probe_wdl(tb::tb_position(pos, false), success);
    unmake_move(pos);
    EXPECT_NE(success, 0);
    return v;
}

TEST_F(Bridge, CastlingRightsAreNeverProbed) {
    Board with("r3k3/8/8/8/8/8/8/4K2R w Kq - 0 1");
    Board without("r3k3/8/8/8/8/8/8/4K2R w - - 0 1");
    tb::TbRootResult r;
    EXPECT_EQ(tb::tb_probe_wdl_search(with.pos, 10, 0, 1), -1);
    EXPECT_EQ(tb::tb_probe_root(with.pos, r), -1);
    EXPECT_EQ(tb::tb_resolve_root(with.pos, 0, 1, r), -1);
    EXPECT_NE(tb::tb_probe_wdl_search(without.pos, 10, 0, 1), -1);
    EXPECT_NE(tb::tb_probe_root(without.pos, r), -1);
}

TEST_F(Bridge, DepthAndMenLimits) {
    Board five("8/8/4k3/8/8/2RK4/8/1r5R w - - 0 1");
    EXPECT_EQ(tb::tb_probe_wdl_search(five.pos, 0, 0, 1), 4);
    EXPECT_EQ(tb::tb_probe_wdl_search(five.pos, -1, 0, 1), -1);   // quiescence depths
    EXPECT_EQ(tb::tb_probe_wdl_search(five.pos, 3, 4, 1), -1);    // general minimum
    EXPECT_EQ(tb::tb_probe_wdl_search(five.pos, 0, 0, 100), 4);   // six-man limit only
    Board six("8/8/4k3/8/8/2RK4/7p/1r5R w - - 0 1");
    EXPECT_EQ(tb::tb_probe_wdl_search(six.pos, 50, 0, 1), -1);    // beyond the largest table
    tb::TbRootResult r;
    EXPECT_EQ(tb::tb_probe_root(six.pos, r), -1);
}

TEST_F(Bridge, RootMoveAndTheMovesThatKeepTheWin) {
    Board b("8/8/4k3/8/8/2RK4/8/1r5R w - - 0 1");
    tb::TbRootResult r;
    ASSERT_EQ(tb::tb_probe_root(b.pos, r), 4);
    EXPECT_EQ(r.dtz, 1);
    EXPECT_EQ(r.move, make_move_code(7, 1));  // Rhxb1 zeroes at once
    std::vector<Move> keep;
    for (const Move* m = r.keep; *m; ++m)
        keep.push_back(*m);
    for (Move m : legal_moves(b.pos)) {
        const bool kept = std::find(keep.begin(), keep.end(), m) != keep.end();
        EXPECT_EQ(kept, wdl_after(b.pos, m) == -2) << m;
    }
}

TEST_F(Bridge, LosingRootResistsLongest) {
    Board b("8/8/8/8/8/8/2Rk4/1K6 b - - 0 1");  // lost in 32 plies
    tb::TbRootResult r;
    ASSERT_EQ(tb::tb_probe_root(b.pos, r), 0);
    EXPECT_EQ(r.dtz, 32);
    make_move(b.pos, r.move);
    int success;
    EXPECT_EQ(tb::probe_dtz(tb::tb_position(b.pos, false), success), 31);
}

TEST_F(Bridge, TheClockTurnsLongWinsIntoCursedOnes) {
    Board b("7K/6R1/8/8/4k3/8/8/8 w - - 0 1");  // KRvK, win in 31 plies
    tb::TbRootResult r;
    b.pos.halfmove = 69;
    EXPECT_EQ(tb::tb_probe_root(b.pos, r), 4);
    b.pos.halfmove = 70;
    EXPECT_EQ(tb::tb_probe_root(b.pos, r), 3);
    EXPECT_EQ(r.dtz, 31);
    EXPECT_NE(r.keep[0], NO_MOVE);
}

TEST_F(Bridge, DrawnRootPicksADrawingMove) {
    Board b("r7/8/4k3/8/8/3K4/8/7R w - - 0 1");  // KRvKR
    tb::TbRootResult r;
    ASSERT_EQ(tb::tb_probe_root(b.pos, r), 2);
    EXPECT_EQ(wdl_after(b.pos, r.move), 0);
}

TEST_F(Bridge, WithoutDtzTheRootKeepsTheWdlResultButNoMove) {
    const std::string dir = make_temp_dir();
    ASSERT_EQ(symlink((syzygy_dir() + "/KRvK.rtbw").c_str(), (dir + "/KRvK.rtbw").c_str()), 0);
    quiet_init(dir);
    Board b("7K/6R1/8/8/4k3/8/8/8 w - - 0 1");
    tb::TbRootResult r;
    EXPECT_EQ(tb::tb_probe_root(b.pos, r), -1);
    EXPECT_EQ(tb::tb_resolve_root(b.pos, 0, 1, r), 4);
    EXPECT_EQ(r.move, NO_MOVE);
    quiet_init("");
}

struct Known {
    const char* fen;
    int wdl;
    int dtz;
};


TEST_F(RealTables, DocumentedValues) {
    const Known cases[] = {
        {"8/8/8/8/8/8/2Rk4/1K6 b - - 0 1", -2, -32},      // KRvK, longest loss
        {"8/8/8/8/4k3/8/1Q6/K7 b - - 0 1", -2, -20},      // KQvK, longest loss
        {"Q7/6K1/8/8/3k4/8/8/1r6 w - - 0 1", 2, 47},      // KQvKR through the value map
        {"8/8/2N5/1N6/k7/8/1K6/8 w - - 0 1", 2, 1},       // KNNvK mate in one
        {"8/8/7k/8/6P1/5K2/8/8 w - - 0 1", 0, 0},         // KPvK drawn
        {"8/8/8/8/8/8/3kR3/7K b - - 0 1", 0, 0},          // KRvK: Kxe2 draws
    };
    for (const Known& k : cases) {
        SCOPED_TRACE(k.fen);
        int success;
        const tb::TbPosition p = tb_from_fen(k.fen);
        EXPECT_EQ(tb::probe_wdl(p, success), k.wdl);
        EXPECT_NE(success, 0);
        EXPECT_EQ(tb::probe_dtz(p, success), k.dtz);
        EXPECT_NE(success, 0);
    }
}

// Threads racing to load the same tables all get the values one thread gets.
TEST_F(RealTables, ConcurrentFirstProbesAgree) {
    std::mt19937_64 rng(9);
    std::vector<tb::TbPosition> positions;
    for (const std::string& name : real_table_names())
        for (int i = 0; i < 4; ++i)
            positions.push_back(random_position(name, rng));
    std::vector<int> expected;
    for (const tb::TbPosition& p : positions) {
        int success;
        expected.push_back(tb::probe_wdl(p, success));
    }
    quiet_init(ZELK_SYZYGY_DIR);
    std::vector<std::vector<int>> got(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < positions.size(); ++i) {
                int success;
                const size_t k = (i * (t + 1)) % positions.size();
                got[t].push_back(k);
                got[t].push_back(tb::probe_wdl(positions[k], success));
            }
        });
    for (std::thread& th : threads)
        th.join();
    for (const auto& g : got)
        for (size_t i = 0; i < g.size(); i += 2)
            EXPECT_EQ(g[i + 1], expected[size_t(g[i])]);
}

} // namespace
} // namespace zelk::test
