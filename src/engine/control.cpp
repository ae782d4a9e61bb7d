#include "engine/control.h"

namespace zelk {

EngineControl control;
SearchThread* thread_table[MAX_THREADS];
SearchThread* game;

} // namespace zelk
