// The tables: documented values, racing first probes, the bridge to the
// search, the registry and path list, damaged files (which leave the engine
// running without the table), and the self-consistency of every real table:
// a position's WDL agrees with what its successors imply, and its DTZ with
// the successors' DTZ, one ply down.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

#include "core/attacks.h"
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
    std::filesystem::create_symlink(syzygy_dir() + "/" + file, dir + "/" + file);
}

int wdl_of(const char* fen) { return probe_value(tb_from_fen(fen), false); }
int dtz_of(const char* fen) { return probe_value(tb_from_fen(fen), true); }

bool maps_mention(const char* name) { return read_text("/proc/self/maps").find(name) != std::string::npos; }

class Bridge : public RealTables {};

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

// The kept moves are exactly those after which the opponent is lost.
TEST_F(Bridge, RootMoveAndTheMovesThatKeepTheWin) {
    Board b("8/8/4k3/8/8/2RK4/8/1r5R w - - 0 1");
    tb::TbRootResult r;
    ASSERT_EQ(tb::tb_probe_root(b.pos, r), 4);
    EXPECT_EQ(r.dtz, 1);
    EXPECT_EQ(r.move, make_move_code(7, 1));  // Rhxb1 zeroes at once
    const Move *keep = r.keep, *end = std::find(keep, keep + tb::TB_ROOT_MOVES, NO_MOVE);
    for (Move m : legal_moves(b.pos)) {
        make_move(b.pos, m);
        const int after = probe_value(tb::tb_position(b.pos, false), false);
        unmake_move(b.pos);
        EXPECT_EQ(std::find(keep, end, m) != end, after == -2) << m;
    }
}

// The root result (WDL + 2) and DTZ, and the opponent's DTZ after the
// table's move: the winner goes one ply nearer the zeroing move, the loser
// resists longest, a draw stays drawn. With the clock at 70 a win in 31
// plies is cursed.
TEST_F(Bridge, RootResultAndTheTableMove) {
    const char* const KRVK = "7K/6R1/8/8/4k3/8/8/8 w - - 0 1";
    const struct {
        const char* fen;
        int halfmove, result, dtz, next;
    } cases[] = {
        {KRVK_WIN, 0, 0, 32, 31},
        {KRVK, 69, 4, 31, -30},
        {KRVK, 70, 3, 31, -30},
        {"r7/8/4k3/8/8/3K4/8/7R w - - 0 1", 0, 2, 0, 0},  // KRvKR
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fen << " clock " << c.halfmove);
        Board b(c.fen);
        b.pos.halfmove = c.halfmove;
        tb::TbRootResult r;
        ASSERT_EQ(tb::tb_probe_root(b.pos, r), c.result);
        EXPECT_EQ(r.dtz, c.dtz);
        EXPECT_NE(r.keep[0], NO_MOVE);
        make_move(b.pos, r.move);
        EXPECT_EQ(probe_value(tb::tb_position(b.pos, false), true), c.next);
    }
}

TEST_F(RealTables, DocumentedValues) {
    const struct {
        const char* fen;
        int wdl, dtz;
    } cases[] = {
        {KRVK_WIN, -2, -32},                              // KRvK, longest loss
        {"8/8/8/8/4k3/8/1Q6/K7 b - - 0 1", -2, -20},      // KQvK, longest loss
        {"Q7/6K1/8/8/3k4/8/8/1r6 w - - 0 1", 2, 47},      // KQvKR through the value map
        {"8/8/2N5/1N6/k7/8/1K6/8 w - - 0 1", 2, 1},       // KNNvK mate in one
        {"7Q/1b6/8/8/8/8/2q5/2k3K1 b - - 0 1", 2, 1},     // KQBvKQ mate in one, side not stored
        {"7Q/1b6/8/8/8/8/2q5/2k4K w - - 0 1", -2, -1},    // its only move walks into it (stored)
        {"8/8/7k/8/6P1/5K2/8/8 w - - 0 1", 0, 0},         // KPvK drawn
        {"8/8/8/8/8/8/3kR3/7K b - - 0 1", 0, 0},          // KRvK: Kxe2 draws
    };
    for (const auto& k : cases) {
        EXPECT_EQ(wdl_of(k.fen), k.wdl) << k.fen;
        EXPECT_EQ(dtz_of(k.fen), k.dtz) << k.fen;
    }
}

// Threads racing to load the same tables all get the values one thread gets.
TEST_F(RealTables, ConcurrentFirstProbesAgree) {
    std::mt19937_64 rng(9);
    std::vector<tb::TbPosition> positions;
    std::vector<int> expected;
    for (const std::string& name : real_table_names())
        for (int i = 0; i < 4; ++i) {
            positions.push_back(random_position(name, rng));
            expected.push_back(probe_value(positions.back(), false));
        }
    quiet_init(ZELK_SYZYGY_DIR);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (size_t t = 1; t <= 4; ++t)
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < positions.size(); ++i) {
                const size_t k = i * t % positions.size();
                wrong += probe_value(positions[k], false) != expected[k];
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

// The real set is reported; registering again unmaps what the probes mapped.
TEST_F(Files, RegistersTheRealSetAndReinitialisingReleasesIt) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(tb::init_tablebases(syzygy_dir().c_str()), 50);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info string found 50 tablebases\n");
    EXPECT_EQ(tb::tb_largest(), 5);
    EXPECT_EQ(wdl_of(KRVK_WIN), -2);
    EXPECT_EQ(dtz_of(KRVK_WIN), -32);
    EXPECT_TRUE(maps_mention("KRvK.rtbw"));
    EXPECT_TRUE(maps_mention("KRvK.rtbz"));
    quiet_init(syzygy_dir());
    EXPECT_FALSE(maps_mention("KRvK.rtbw"));
    EXPECT_FALSE(maps_mention("KRvK.rtbz"));
    EXPECT_EQ(wdl_of(KRVK_WIN), -2);
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
    ASSERT_TRUE(std::filesystem::create_directory(c + "/KRvK.rtbw"));
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

// Damaged copies of a real file, each reported once and then left alone.
TEST_F(Files, DamagedWdlFilesAreDroppedOnce) {
    const std::string real = read_text(syzygy_dir() + "/KRvK.rtbw");
    ASSERT_EQ(real.size(), 208u);
    const std::string variants[] = {
        "",                                   // zero bytes
        real.substr(0, 100),                  // truncated
        real.substr(0, 4) + noise_bytes(204, 11),   // magic, then garbage
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

// Partial sets: without the DTZ file the root keeps the WDL result but has
// no move; a capture into a missing table fails the probe as a whole, and
// with the table there the winning capture answers DTZ 1 without DTZ files.
TEST_F(Files, MissingOrDamagedFilesOfAPartialSet) {
    const std::string dir = make_temp_dir();
    link_real(dir, "KRvK.rtbw");
    link_real(dir, "KQvKR.rtbw");
    quiet_init(dir);
    EXPECT_EQ(wdl_of(KRVK_WIN), -2);
    EXPECT_EQ(dtz_of(KRVK_WIN), 99);
    Board b("7K/6R1/8/8/4k3/8/8/8 w - - 0 1");
    tb::TbRootResult r;
    EXPECT_EQ(tb::tb_probe_root(b.pos, r), -1);
    EXPECT_EQ(tb::tb_resolve_root(b.pos, 0, 1, r), 4);
    EXPECT_EQ(r.move, NO_MOVE);
    const char* qxd8 = "3r3k/8/8/8/8/8/8/K2Q4 w - - 0 1";
    EXPECT_EQ(wdl_of(qxd8), 99);
    link_real(dir, "KQvK.rtbw");
    const std::string real = read_text(syzygy_dir() + "/KRvK.rtbz");
    write_bytes(dir + "/KRvK.rtbz", real.substr(0, real.size() / 2));
    quiet_init(dir);
    EXPECT_EQ(wdl_of(qxd8), 2);
    EXPECT_EQ(dtz_of(qxd8), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(dtz_of(KRVK_WIN), 99);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\n");
    EXPECT_EQ(wdl_of(KRVK_WIN), -2);
}

using tb::TbMove;
using tb::TbPosition;

bool zeroing(const TbPosition& p, TbMove m) {
    const Bitboard them = p.turn ? p.black : p.white;
    return (p.pawns & bit(tb::tb_move_from(m))) || (them & bit(tb::tb_move_to(m)));
}

// What the successors imply. Bounds on the WDL: a quiet move into a position
// won or lost for good may turn it into a cursed win or blessed loss, since
// the clock does not restart, so such a move counts as one class or the
// other. For a position of DTZ `dtz` (not 0), the winner's shortest or the
// loser's longest way to a zeroing move: a capture or pawn move counts 1, or
// 101 when it only keeps a cursed result; a checkmated position counts 1.
struct Implied {
    int lo = -3, hi = -3, dtz = 0;
};

Implied successors(const TbPosition& p, int dtz) {
    TbMove list[tb::TB_MAX_MOVES];
    TbMove* end = tb::tb_gen_moves(p, list);
    Implied s;
    s.dtz = dtz > 0 ? 100000 : 0;
    for (TbMove* m = list; m != end; ++m) {
        TbPosition c;
        if (!tb::tb_do_move(c, p, *m))
            continue;
        int success;
        const int v = -tb::probe_wdl(c, success);
        EXPECT_NE(success, 0) << tb_to_fen(c);
        const bool zero = zeroing(p, *m);
        s.lo = std::max(s.lo, !zero && v == 2 ? 1 : v);
        s.hi = std::max(s.hi, !zero && v == -2 ? -1 : v);
        // Signed plies to a zeroing move through this move.
        int next = v == 2 || v == -2 ? v / 2 : 101 * v;
        if (!zero && dtz != 0) {
            const int cd = -tb::probe_dtz(c, success);
            EXPECT_NE(success, 0) << tb_to_fen(c);
            next = cd > 0 ? cd + 1 : cd < 0 ? cd - 1 : 0;
        }
        if (next != 0 && (next > 0) == (dtz > 0))
            s.dtz = dtz > 0 ? std::min(s.dtz, std::abs(next)) : std::max(s.dtz, std::abs(next));
    }
    if (s.lo == -3) {  // no legal move
        s.lo = s.hi = tb::tb_in_check(p) ? -2 : 0;
        s.dtz = 1;
    }
    return s;
}

// A position's WDL lies within its successors' bounds; with `with_dtz`, its
// DTZ has the WDL's sign and class and is one more than its successors'.
void check_position(const TbPosition& p, bool with_dtz) {
    int success;
    const int wdl = tb::probe_wdl(p, success);
    ASSERT_NE(success, 0) << tb_to_fen(p);
    const int dtz = with_dtz ? tb::probe_dtz(p, success) : 0;
    ASSERT_NE(success, 0) << tb_to_fen(p);
    const Implied s = successors(p, dtz);
    ASSERT_TRUE(wdl >= s.lo && wdl <= s.hi) << tb_to_fen(p) << " wdl " << wdl << " successors " << s.lo << ".." << s.hi;
    if (!with_dtz)
        return;
    ASSERT_EQ(dtz > 0, wdl > 0) << tb_to_fen(p);
    ASSERT_EQ(dtz < 0, wdl < 0) << tb_to_fen(p);
    ASSERT_EQ(std::abs(dtz) > 100, wdl == 1 || wdl == -1) << tb_to_fen(p);
    if (dtz != 0) {
        ASSERT_LE(std::abs(std::abs(dtz) - s.dtz), 1) << tb_to_fen(p) << " dtz " << dtz << " successors " << s.dtz;
    }
}

struct Consistency : RealTables, ::testing::WithParamInterface<std::string> {};

// Every sample's WDL, and every fourth sample's DTZ.
TEST_P(Consistency, WdlAndDtzAgreeWithSuccessors) {
    std::mt19937_64 rng(std::hash<std::string>()(GetParam()));
    const int samples = tb_samples(60);
    for (int i = 0; i < samples; ++i)
        ASSERT_NO_FATAL_FAILURE(check_position(random_position(GetParam(), rng), i % 4 == 0));
}

// Without the real tables the list is empty, which is not an error.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Consistency);
INSTANTIATE_TEST_SUITE_P(RealTables, Consistency, ::testing::ValuesIn(real_table_names()),
                         [](const auto& param_info) { return param_info.param; });

// Positions right after a double push, with an en-passant capture to weigh
// (a double push into such a capture is no zeroing win).
class EnPassant : public RealTables {};

TEST_F(EnPassant, SuccessorsAgreeAfterDoublePush) {
    std::mt19937_64 rng(7);
    int tested = 0;
    for (int tries = 0; tested < tb_samples(60); ++tries) {
        TbPosition p = random_position("KPvKP", rng);
        // Move the side not to move's pawn back to where it started its double push.
        const Bitboard mover = p.turn ? p.white : p.black, other = p.turn ? p.black : p.white;
        const int pawn = lsb(p.pawns & other);
        const int passed = p.turn ? pawn + 8 : pawn - 8, start = p.turn ? pawn + 16 : pawn - 16;
        const bool on_fifth = p.turn ? (pawn >> 3) == 4 : (pawn >> 3) == 3;
        const Bitboard occ = p.white | p.black;
        const Bitboard attackers = tables.pawn_attacks[p.turn ? 1 : 0][passed] & p.pawns & mover;
        if (!on_fifth || (occ & (bit(passed) | bit(start))) || !attackers)
            continue;
        p.ep = uint8_t(passed);
        // The position before the push must not have had the mover in check.
        TbPosition before = p;
        before.ep = 0;
        before.turn ^= 1;
        (p.turn ? before.black : before.white) ^= bit(pawn) | bit(start);
        before.pawns ^= bit(pawn) | bit(start);
        if (!tb::tb_is_valid(before))
            continue;
        ++tested;
        ASSERT_NO_FATAL_FAILURE(check_position(p, true));
    }
}

// The probe generator's legal moves are the engine's legal moves.
TEST(TbMoves, LegalMovesMatchTheEngine) {
    std::mt19937_64 rng(11);
    for (const char* name : {"KQRvKR", "KRPvKR", "KPvKP", "KBNvK", "KPPvK"})
        for (int i = 0; i < 200; ++i) {
            TbPosition p = random_position(name, rng);
            const std::string fen = tb_to_fen(p);
            Board b(fen.c_str());
            TbMove list[tb::TB_MAX_MOVES];
            TbMove* end = tb::tb_gen_moves(p, list);
            std::vector<Move> ours;
            for (TbMove* m = list; m != end; ++m) {
                TbPosition c;
                if (tb::tb_do_move(c, p, *m))
                    ours.push_back(tb::tb_to_engine_move(*m));
            }
            std::vector<Move> engine = legal_moves(b.pos);
            std::sort(ours.begin(), ours.end());
            std::sort(engine.begin(), engine.end());
            ASSERT_EQ(ours, engine) << fen;
        }
}

} // namespace
} // namespace zelk::test
