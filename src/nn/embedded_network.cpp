// The default network built into the program, so that it runs without
// "nn.bin" beside it. The build names the file in ZELK_EVALFILE.
#include "nn/network.h"

#ifdef ZELK_EVALFILE
asm(".section .rodata\n"
    ".balign 16\n"
    ".global zelk_embedded_network\n"
    "zelk_embedded_network:\n"
    ".incbin \"" ZELK_EVALFILE "\"\n"
    ".global zelk_embedded_network_end\n"
    "zelk_embedded_network_end:\n"
    ".previous\n");

extern "C" const unsigned char zelk_embedded_network[];
extern "C" const unsigned char zelk_embedded_network_end[];

namespace zelk {
std::span<const unsigned char> embedded_network() {
    return {zelk_embedded_network, zelk_embedded_network_end};
}
} // namespace zelk
#else
namespace zelk {
std::span<const unsigned char> embedded_network() { return {}; }
} // namespace zelk
#endif
