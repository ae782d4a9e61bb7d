#include "engine/control.h"

namespace zelk {

EngineControl control;
std::atomic<SearchThread*> thread_table[MAX_THREADS];
SearchThread* game;

} // namespace zelk
