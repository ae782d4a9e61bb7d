// Probes of hand-picked positions against values known from the format note
// and the tables' own documentation.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "tablebase/tbcore.h"
#include "tablebase/tbprobe.h"
#include "tb_helpers.h"

namespace zelk::test {
namespace {

struct Known {
    const char* fen;
    int wdl;
    int dtz;
};

class RealTables : public ::testing::Test {
protected:
    void SetUp() override {
        if (!use_real_tables())
            GTEST_SKIP() << "no Syzygy tables at " << ZELK_SYZYGY_DIR;
    }
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
    testing::internal::CaptureStdout();
    tb::init_tablebases(ZELK_SYZYGY_DIR);
    testing::internal::GetCapturedStdout();
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
