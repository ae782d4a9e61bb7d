#include "io/locks.h"

#include <initializer_list>

namespace zelk {

EngineLocks locks;

int init_locks() {
    for (pthread_spinlock_t* l : {&locks.output_lock, &locks.info_lock, &locks.depth_nodes_lock})
        if (int err = pthread_spin_init(l, PTHREAD_PROCESS_PRIVATE))
            return err;
    return 0;
}

void destroy_locks() {
    for (pthread_spinlock_t* l : {&locks.output_lock, &locks.info_lock, &locks.depth_nodes_lock})
        pthread_spin_destroy(l);
}

} // namespace zelk
