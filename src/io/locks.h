// The three process-wide spin locks, created at start-up: output (standard
// output plus its log copy), search information lines, and node totals per depth.
#pragma once

#include <pthread.h>

namespace zelk {

struct EngineLocks {
    pthread_spinlock_t output_lock;
    pthread_spinlock_t info_lock;
    pthread_spinlock_t depth_nodes_lock;
};
extern EngineLocks locks;

// 0, or the error number of the first initialisation that failed.
int init_locks();
void destroy_locks();

// Holds a spin lock for the life of the guard.
class SpinGuard {
public:
    explicit SpinGuard(pthread_spinlock_t& lock) : lock_(lock) { pthread_spin_lock(&lock_); }
    ~SpinGuard() { pthread_spin_unlock(&lock_); }
    SpinGuard(const SpinGuard&) = delete;
    SpinGuard& operator=(const SpinGuard&) = delete;

private:
    pthread_spinlock_t& lock_;
};

} // namespace zelk
