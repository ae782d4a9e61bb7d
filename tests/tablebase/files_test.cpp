// The registry, the path list and damaged files: every failure leaves the
// engine running without the table, and probes never leave the mapping.
#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "net_file.h"
#include "run_engine.h"
#include "tablebase/tbcore.h"
#include "tablebase/tbprobe.h"
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

TEST_F(Files, EmptyPathsRegisterNothingSilently) {
    for (const char* path : {"", "<empty>"}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(tb::init_tablebases(path), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(tb::tb_largest(), 0);
        // Bare kings need no table; anything else is not found.
        EXPECT_EQ(wdl_of("8/8/8/3k4/8/8/8/4K3 w - - 0 1"), 0);
        EXPECT_EQ(wdl_of(KRVK_WIN), 99);
    }
}

TEST_F(Files, PathListSkipsEmptyAndOverlongComponentsAndPrefersTheFirst) {
    const std::string a = make_temp_dir(), b = make_temp_dir();
    link_real(b, "KRvK.rtbw");
    link_real(b, "KRvK.rtbz");
    const std::string long_dir(300, 'x');
    EXPECT_EQ(quiet_init("::" + a + "::/" + long_dir + ":" + b + ":"), 1);
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

TEST_F(Files, ADirectoryNamedLikeATableIsNoTable) {
    const std::string a = make_temp_dir(), b = make_temp_dir();
    ASSERT_EQ(mkdir((a + "/KRvK.rtbw").c_str(), 0700), 0);
    EXPECT_EQ(quiet_init(a), 0);
    link_real(b, "KRvK.rtbw");
    EXPECT_EQ(quiet_init(a + ":" + b), 1);
    EXPECT_EQ(wdl_of(KRVK_WIN), -2);
}

TEST_F(Files, MissingOrDamagedDtzFileLeavesWdl) {
    const std::string dir = make_temp_dir();
    link_real(dir, "KRvK.rtbw");
    quiet_init(dir);
    EXPECT_EQ(wdl_of(KRVK_WIN), -2);
    EXPECT_EQ(dtz_of(KRVK_WIN), 99);
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
