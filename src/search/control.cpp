#include "search/control.h"

namespace zelk {

EngineControl control;
SearchSettings search_settings;
std::atomic<SearchThread*> thread_table[MAX_THREADS];
SearchThread* game;

} // namespace zelk
