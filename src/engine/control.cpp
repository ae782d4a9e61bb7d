#include "engine/control.h"

namespace zelk {

EngineControl control;

} // namespace zelk
