// The tables: documented values, racing first probes, the bridge to the
// search, the registry and path list, and damaged files, which leave the
// engine running without the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "core/makemove.h"
#include "helpers.h"
#include "net_file.h"
#include "run_engine.h"
#include "tablebase/tbcore.h"
#include "tablebase/tbprobe.h"
#include "tablebase/tbsearch.h"
#include "tb_helpers.h"

namespace zelk::test {
namespace {
const char* KRVK_WIN = "8/8/8/8/8/8/2Rk4/1K6 b - - 0 1";  // WDL -2, DTZ -32

void link_real(const std::string& dir, const std::string& file) {
    ASSERT_EQ(symlink((syzygy_dir() + "/" + file).c_str(), (dir + "/" + file).c_str()), 0);
}

// WDL of a FEN, or 99 when the probe fails.
int wdl_of(const char* fen) {
    int success;
    const int v = tb::probe_wdl(tb_from_fen(fen), success);
    return success ? v : 99;
}

int dtz_of(const char* fen) {
    int success;
    const int v = tb::probe_dtz(tb_from_fen(fen), success);
    return success ? v : 99;
}

bool maps_mention(const char* name) { return read_text("/proc/self/maps").find(name) != std::string::npos; }

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

// The search probes without castling rights, within the largest table's
// men, from its minimum depth on (and for six men from depth6 on).
TEST_F(Bridge, WhenTheSearchProbes) {
    const char* const FIVE = "8/8/4k3/8/8/2RK4/8/1r5R w - - 0 1";
    const char* const SIX = "8/8/4k3/8/8/2RK4/7p/1r5R w - - 0 1";
    const struct {
        const char* fen;
        int depth, min_depth, depth6, result;
    } cases[] = {
        {FIVE, 0, 0, 100, 4},   // the six-man limit does not apply
        {FIVE, -1, 0, 1, -1},   // quiescence depths
        {FIVE, 3, 4, 1, -1},    // below the minimum
        {SIX, 50, 0, 1, -1},    // beyond the largest table
        {"r3k3/8/8/8/8/8/8/4K2R w Kq - 0 1", 10, 0, 1, -1},
        {"r3k3/8/8/8/8/8/8/4K2R w - - 0 1", 10, 0, 1, 4},   // Rh8+ and Rxa8
    };
    for (const auto& c : cases)
        EXPECT_EQ(tb::tb_probe_wdl_search(Board(c.fen).pos, c.depth, c.min_depth, c.depth6), c.result) << c.fen;
    tb::TbRootResult r;
    EXPECT_EQ(tb::tb_probe_root(Board(SIX).pos, r), -1);
    Board castling("r3k3/8/8/8/8/8/8/4K2R w Kq - 0 1");
    EXPECT_EQ(tb::tb_probe_root(castling.pos, r), -1);
    EXPECT_EQ(tb::tb_resolve_root(castling.pos, 0, 1, r), -1);
    EXPECT_EQ(tb::tb_probe_root(Board("r3k3/8/8/8/8/8/8/4K2R w - - 0 1").pos, r), 4);
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

TEST_F(Bridge, LosingRootResistsLongestAndDrawnRootDraws) {
    Board b("8/8/8/8/8/8/2Rk4/1K6 b - - 0 1");  // lost in 32 plies
    tb::TbRootResult r;
    ASSERT_EQ(tb::tb_probe_root(b.pos, r), 0);
    EXPECT_EQ(r.dtz, 32);
    make_move(b.pos, r.move);
    int success;
    EXPECT_EQ(tb::probe_dtz(tb::tb_position(b.pos, false), success), 31);
    Board drawn("r7/8/4k3/8/8/3K4/8/7R w - - 0 1");  // KRvKR
    ASSERT_EQ(tb::tb_probe_root(drawn.pos, r), 2);
    EXPECT_EQ(wdl_after(drawn.pos, r.move), 0);
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
    // The winner's move goes one ply nearer the zeroing move.
    make_move(b.pos, r.move);
    int success;
    EXPECT_EQ(tb::probe_dtz(tb::tb_position(b.pos, false), success), -30);
}

TEST_F(RealTables, DocumentedValues) {
    const struct {
        const char* fen;
        int wdl, dtz;
    } cases[] = {
        {"8/8/8/8/8/8/2Rk4/1K6 b - - 0 1", -2, -32},      // KRvK, longest loss
        {"8/8/8/8/4k3/8/1Q6/K7 b - - 0 1", -2, -20},      // KQvK, longest loss
        {"Q7/6K1/8/8/3k4/8/8/1r6 w - - 0 1", 2, 47},      // KQvKR through the value map
        {"8/8/2N5/1N6/k7/8/1K6/8 w - - 0 1", 2, 1},       // KNNvK mate in one
        {"8/8/7k/8/6P1/5K2/8/8 w - - 0 1", 0, 0},         // KPvK drawn
        {"8/8/8/8/8/8/3kR3/7K b - - 0 1", 0, 0},          // KRvK: Kxe2 draws
    };
    for (const auto& k : cases) {
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
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (size_t t = 1; t <= 4; ++t)
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < positions.size(); ++i) {
                const size_t k = i * t % positions.size();
                int success;
                wrong += tb::probe_wdl(positions[k], success) != expected[k];
            }
        });
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(wrong, 0);
}

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        if (syzygy_dir().empty())
            GTEST_SKIP() << "no Syzygy tables at " << ZELK_SYZYGY_DIR;
    }
    void TearDown() override { quiet_init(""); }
};

TEST_F(Files, RegistersTheRealSetAndReportsIt) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(tb::init_tablebases(syzygy_dir().c_str()), 50);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info string found 50 tablebases\n");
    EXPECT_EQ(tb::tb_largest(), 5);
    // A symmetric table is entered once, a table and its mirror under two keys.
    int slots = 0;
    for (const auto& row : tb::registry.hash)
        for (const auto& s : row)
            slots += s.key != 0;
    EXPECT_EQ(slots, 2 * 50 - 5);  // KBvKB, KNvKN, KPvKP, KQvKQ and KRvKR once
}

TEST_F(Files, PathListSkipsEmptyAndOverlongComponentsAndPrefersTheFirst) {
    // Empty paths register nothing, silently; bare kings need no table.
    for (const char* path : {"", "<empty>"}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(tb::init_tablebases(path), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(wdl_of("8/8/8/3k4/8/8/8/4K3 w - - 0 1"), 0);
        EXPECT_EQ(wdl_of(KRVK_WIN), 99);
    }
    const std::string a = make_temp_dir(), b = make_temp_dir(), c = make_temp_dir();
    // A directory named like a table is no table.
    ASSERT_EQ(mkdir((c + "/KRvK.rtbw").c_str(), 0700), 0);
    EXPECT_EQ(quiet_init(c), 0);
    link_real(b, "KRvK.rtbw");
    link_real(b, "KRvK.rtbz");
    const std::string long_dir(300, 'x');
    EXPECT_EQ(quiet_init("::" + c + ":" + a + "::/" + long_dir + ":" + b + ":"), 1);
    EXPECT_EQ(wdl_of(KRVK_WIN), -2);
    EXPECT_EQ(dtz_of(KRVK_WIN), -32);

    // The same table in both folders: the first one's copy is used.
    write_bytes(a + "/KRvK.rtbw", std::string(208, '\0'));
    testing::internal::CaptureStderr();
    EXPECT_EQ(quiet_init(a + ":" + b), 1);
    EXPECT_EQ(wdl_of(KRVK_WIN), 99);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\n");
    EXPECT_EQ(quiet_init(b + ":" + a), 1);
    EXPECT_EQ(wdl_of(KRVK_WIN), -2);
}

TEST_F(Files, ReinitialisingReleasesTheMappings) {
    quiet_init(syzygy_dir());
    EXPECT_EQ(wdl_of(KRVK_WIN), -2);
    EXPECT_EQ(dtz_of(KRVK_WIN), -32);
    EXPECT_TRUE(maps_mention("KRvK.rtbw"));
    EXPECT_TRUE(maps_mention("KRvK.rtbz"));
    quiet_init(syzygy_dir());
    EXPECT_FALSE(maps_mention("KRvK.rtbw"));
    EXPECT_FALSE(maps_mention("KRvK.rtbz"));
    EXPECT_EQ(wdl_of(KRVK_WIN), -2);
}

// Damaged copies of a real file, each reported once and then left alone.
TEST_F(Files, DamagedWdlFilesAreDroppedOnce) {
    const std::string real = read_text(syzygy_dir() + "/KRvK.rtbw");
    ASSERT_EQ(real.size(), 208u);
    std::string garbage = real.substr(0, 4);
    for (size_t i = 4; i < real.size(); ++i)
        garbage += char(i * 37 + 11);
    const std::string variants[] = {
        "",                                   // zero bytes
        real.substr(0, 100),                  // truncated
        real.substr(0, 4),                    // magic only
        garbage,                              // magic, then garbage
        real + std::string(64, '\0'),         // trailing bytes
        std::string(208, '\xFF'),             // wrong magic
    };
    for (const std::string& bytes : variants) {
        const std::string dir = make_temp_dir();
        write_bytes(dir + "/KRvK.rtbw", bytes);
        EXPECT_EQ(quiet_init(dir), 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(wdl_of(KRVK_WIN), 99);
        EXPECT_EQ(wdl_of("8/8/8/8/8/8/2rK4/1k6 w - - 0 1"), 99);  // the colour-swapped material
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\n") << bytes.size();
    }
}

// Without the DTZ file the root keeps the WDL result but has no move.
TEST_F(Files, MissingOrDamagedDtzFileLeavesWdl) {
    const std::string dir = make_temp_dir();
    link_real(dir, "KRvK.rtbw");
    quiet_init(dir);
    EXPECT_EQ(wdl_of(KRVK_WIN), -2);
    EXPECT_EQ(dtz_of(KRVK_WIN), 99);
    Board b("7K/6R1/8/8/4k3/8/8/8 w - - 0 1");
    tb::TbRootResult r;
    EXPECT_EQ(tb::tb_probe_root(b.pos, r), -1);
    EXPECT_EQ(tb::tb_resolve_root(b.pos, 0, 1, r), 4);
    EXPECT_EQ(r.move, NO_MOVE);
    const std::string real = read_text(syzygy_dir() + "/KRvK.rtbz");
    write_bytes(dir + "/KRvK.rtbz", real.substr(0, real.size() / 2));
    quiet_init(dir);
    testing::internal::CaptureStderr();
    EXPECT_EQ(dtz_of(KRVK_WIN), 99);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\n");
    EXPECT_EQ(wdl_of(KRVK_WIN), -2);
}

// Random damage to real files: whatever loads must answer without reading
// outside the mapping (the sanitizer build checks the reads).
TEST_F(Files, RandomlyDamagedFilesNeverCrash) {
    std::mt19937_64 rng(5);
    const char* tables[] = {"KQvKR", "KPvK", "KBNvK"};
    const int rounds = tb_samples(60) / 3;
    const std::string dir = make_temp_dir();
    for (const char* name : tables) {
        const std::string wdl = read_text(syzygy_dir() + "/" + name + ".rtbw");
        const std::string dtz = read_text(syzygy_dir() + "/" + name + ".rtbz");
        for (int r = 0; r < rounds; ++r) {
            std::string w = wdl, z = dtz;
            const int flips = 1 + int(rng() % 8);
            for (int i = 0; i < flips; ++i) {
                w[rng() % std::min<size_t>(w.size(), r % 2 ? w.size() : 600)] ^= char(1 + rng() % 255);
                z[rng() % std::min<size_t>(z.size(), r % 2 ? z.size() : 600)] ^= char(1 + rng() % 255);
            }
            if (r % 5 == 0)
                w.resize(rng() % w.size());
            write_bytes(dir + "/" + name + ".rtbw", w);
            write_bytes(dir + "/" + name + ".rtbz", z);
            quiet_init(dir);
            testing::internal::CaptureStderr();
            for (int i = 0; i < 20; ++i) {
                const tb::TbPosition p = random_position(name, rng);
                int success;
                const int v = tb::probe_wdl(p, success);
                if (success) {
                    EXPECT_TRUE(v >= -2 && v <= 2) << name;
                }
                tb::probe_dtz(p, success);
            }
            testing::internal::GetCapturedStderr();
        }
    }
}

TEST_F(Files, CaptureSearch) {
    const std::string dir = make_temp_dir();
    link_real(dir, "KQvKR.rtbw");
    quiet_init(dir);
    // Qxd8 wins, but KQvK is missing: the probe fails as a whole.
    const char* fen = "3r3k/8/8/8/8/8/8/K2Q4 w - - 0 1";
    EXPECT_EQ(wdl_of(fen), 99);
    link_real(dir, "KQvK.rtbw");
    quiet_init(dir);
    // With it, the winning capture answers DTZ 1 without any DTZ file.
    EXPECT_EQ(wdl_of(fen), 2);
    EXPECT_EQ(dtz_of(fen), 1);
}

} // namespace
} // namespace zelk::test
