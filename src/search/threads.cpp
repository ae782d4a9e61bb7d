#include "search/threads.h"

#include <pthread.h>
#include <sys/select.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "search/control.h"
#include "search/info.h"
#include "search/result.h"
#include "search/root.h"
#include "search/thread.h"
#include "search/timeman.h"

namespace zelk {

namespace {

void* secondary_thread(void* arg) {
    const int i = int(reinterpret_cast<intptr_t>(arg));
    if (thread_setup(i) != 0)
        return nullptr;
    while (result.iteration_depth.load() < 2 && !control.stop_flag)
        wait_ms(1);
    search_thread_run(i);
    return nullptr;
}

void* master_thread(void*) {
    main_search_thread(0);
    return nullptr;
}

} // namespace

int thread_setup(int i) {
    SearchThread* t = thread_table[i];
    if (!t) {
        t = new (std::nothrow) SearchThread{};
        if (!t)
            return -1;
        thread_record_init(*t);
        thread_table[i] = t;
    }
    t->thread_number = uint8_t(i);
    std::memcpy(&t->pos, &game->pos, sizeof t->pos);
    t->pos.owner = t;
    const int n = game->history_count;
    std::memcpy(t->history, game->history, sizeof(UndoRecord) * size_t(n));
    t->history[n].move = NO_MOVE;
    t->history_count = int16_t(n);
    t->last_move = game->last_move;
    t->search_ply = 1;
    t->node_limit = control.node_limit ? control.node_limit : (uint64_t(1) << 62);
    t->plies[0].list = t->plies[1].list = t->plies[1].current = t->move_stack;
    t->move_stack[0].move = END_OF_LIST;
    t->plies[0].node_type = 0;
    t->plies[0].move_flags = 0;
    t->nmp_min_ply = 0;
    std::memset(t->pv, 0, sizeof t->pv);
    t->iteration_depth = t->completed_depth = t->fail_state = 0;
    t->sel_depth = 0;
    t->best_score = 0;
    t->nodes = t->tb_hits = t->evals = t->eval_hits = t->tt_probes = t->tt_hits = t->pawn_probes = t->pawn_hits = 0;
    publish_counters(*t);
    return 0;
}

void main_search_thread(int number) {
    if (thread_setup(number) != 0)
        std::exit(-1);
    const int count = control.thread_count;
    std::vector<pthread_t> workers;
    for (int i = 1; i < count; ++i) {
        pthread_t id;
        if (pthread_create(&id, nullptr, secondary_thread, reinterpret_cast<void*>(intptr_t(i))) != 0)
            std::exit(-1);
        workers.push_back(id);
    }
    search_thread_run(number);
    for (pthread_t id : workers)
        if (pthread_join(id, nullptr) != 0)
            std::exit(-1);
    sum_counters();
    // The secondary records stay allocated for the next search: the time
    // check on the main thread may still be reading them.
    control.search_state.fetch_or(STATE_FINISHED);
}

void start_search(uint8_t state) {
    control.search_state = state;
    control.stop_flag = 0;
    pthread_t id;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    const int failed = pthread_create(&id, &attr, master_thread, nullptr);
    pthread_attr_destroy(&attr);
    if (failed)
        std::exit(-1);
}

} // namespace zelk
