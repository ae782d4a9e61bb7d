// Self-play training data (being written).
#include "tools/tuning.h"

#include "io/output.h"

namespace zelk {

void make_training_data(const TuningJob&) { emit_line("info string self-play is not written yet"); }

} // namespace zelk
