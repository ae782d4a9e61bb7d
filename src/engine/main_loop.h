// The interactive engine's main loop on the main thread: reads commands,
// starts searches and reports their results.
#pragma once

namespace zelk {

void main_loop();

} // namespace zelk
