// UCI input: each line of the input is a line from an interface.
#include "commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zelk::fuzz::run_commands(data, size, 1);
    return 0;
}
