// Shared helpers of the tablebase tests: the shared table folder, probe
// records from FEN, random legal placements of a signature's men.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tablebase/tbprobe.h"

namespace zelk::test {

// Folder of the real tables ("" when it is not there).
std::string syzygy_dir();
// Registers the real tables once (quietly); false when they are missing.
bool use_real_tables();
// Registers the tables of a path list with the report swallowed; their count.
int quiet_init(const std::string& path);

// Tests on the real tables: registered once, skipped when they are missing.
struct RealTables : ::testing::Test {
    void SetUp() override {
        if (!use_real_tables())
            GTEST_SKIP() << "no Syzygy tables at " << ZELK_SYZYGY_DIR;
    }
};

tb::TbPosition tb_from_fen(const char* fen);
std::string tb_to_fen(const tb::TbPosition& pos);
// WDL or DTZ of a probe record, 99 when the probe fails.
int probe_value(const tb::TbPosition& p, bool dtz);

// Table names (e.g. "KRPvKR") of the real WDL files, sorted.
std::vector<std::string> real_table_names();

// A random legal position with the men of `name`, the first-named side
// being white or black at random; the side to move at random.
tb::TbPosition random_position(const std::string& name, std::mt19937_64& rng);

// Samples per table: ZELK_TB_SAMPLES, or the given default.
int tb_samples(int fallback);

} // namespace zelk::test
