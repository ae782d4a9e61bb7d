// Console input: each line of the input is a line a person typed ("uci"
// switches to UCI, as it does in the engine).
#include "commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zelk::fuzz::run_commands(data, size, 0);
    return 0;
}
