#include "search/thread.h"

#include <cstring>

#include "core/movegen.h"
#include "io/output.h"

namespace zelk {

void thread_record_init(SearchThread& t) {
    t.pos.owner = &t;
    t.search_ply = 1;
    t.plies[0].list = t.plies[0].current = t.move_stack;
    t.plies[1].list = t.plies[1].current = t.move_stack;
    t.move_stack[0].move = END_OF_LIST;
    t.trace_sink = emit_line;
    for (PlyRecord& r : t.plies)
        r.cont = t.cont_sentinel;
}

void gen_ply_moves(SearchThread& t) {
    PlyRecord& rec = t.plies[t.search_ply];
    rec.current = rec.list;
    MoveEntry* end = gen_all(t.pos, rec.list);
    t.plies[t.search_ply + 1].list = end + 1;
    t.plies[t.search_ply + 2].list = end + 2;
}

void thread_tables_clear(SearchThread& t) {
    std::memset(t.main_history, 0, sizeof t.main_history);
    std::memset(t.capture_history, 0, sizeof t.capture_history);
    std::memset(t.cont_history, 0, sizeof t.cont_history);
    std::memset(t.counter1, 0, sizeof t.counter1);
}

void publish_counters(SearchThread& t) {
    const uint64_t values[8] = {t.nodes, t.tb_hits, t.evals, t.eval_hits, t.tt_probes, t.tt_hits, t.pawn_probes, t.pawn_hits};
    for (int i = 0; i < 8; ++i)
        t.published[i].store(values[i], std::memory_order_relaxed);
}

} // namespace zelk
