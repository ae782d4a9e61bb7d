#include "engine/setup.h"

#include "core/notation.h"
#include "search/control.h"

namespace zelk {

EngineSetup setup;

void set_protocol_mode(int mode) {
    control.protocol_mode = int16_t(mode);
    notation_style.uci = mode != 0;
}

} // namespace zelk
