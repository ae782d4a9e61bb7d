#include <gtest/gtest.h>

#include "core/attacks.h"
#include "core/hashcodes.h"

// The process-wide tables every test reads, built once as start-up does.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    zelk::init_attack_tables();
    zelk::make_hash_codes();
    return RUN_ALL_TESTS();
}
