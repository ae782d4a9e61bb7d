#include "engine/options.h"

namespace zelk {

EngineOptions options;
EngineOptions saved_options;
uint8_t Use_NN_eval = 1;
uint8_t UCI_Chess960 = 0;

} // namespace zelk
