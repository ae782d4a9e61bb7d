// The tuning build's jobs, chosen by switch.
#include "tools/tuning.h"

namespace zelk {

const bool tuning_built = true;

void run_tuning_job(const TuningJob& job) {
    if (job.kind == TuningKind::TRAIN_DATA)
        make_training_data(job);
    else
        tune_tables(job);
}

} // namespace zelk
