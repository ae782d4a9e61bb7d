// The command interpreters fed as the engine's input loop feeds them, with
// every search bounded so that one input runs in milliseconds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelk::fuzz {

// Runs the input's commands from a fresh engine state in the given protocol
// mode (1 UCI, 0 console).
void run_commands(const uint8_t* data, size_t size, int protocol_mode);

} // namespace zelk::fuzz
