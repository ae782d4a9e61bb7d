#include "search/thread.h"

namespace zelk {

void thread_record_init(SearchThread& t) {
    t.pos.owner = &t;
    t.search_ply = 1;
    t.plies[0].list = t.plies[0].current = t.move_stack;
    t.plies[1].list = t.plies[1].current = t.move_stack;
    t.move_stack[0].move = END_OF_LIST;
}

} // namespace zelk
