#include <gtest/gtest.h>

#include "core/attacks.h"
#include "core/hashcodes.h"
#include "io/locks.h"

// The process-wide tables and locks every test uses, made once as start-up does.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    zelk::init_attack_tables();
    zelk::make_hash_codes();
    if (zelk::init_locks() != 0)
        return 1;
    return RUN_ALL_TESTS();
}
