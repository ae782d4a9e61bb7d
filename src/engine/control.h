// Control fields shared by the command loop, the main loop and the search.
#pragma once

#include <cstdint>

namespace zelk {

struct EngineControl {
    int16_t protocol_mode = 1;   // 1 = UCI, 0 = console
};

// Written by the command loop and start-up; read everywhere.
extern EngineControl control;

} // namespace zelk
