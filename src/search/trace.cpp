#include "search/trace.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "core/notation.h"
#include "core/board.h"
#include "search/control.h"
#include "search/thread.h"

namespace zelk {

namespace {

std::mutex trace_mutex;
FILE* trace_file = nullptr;
int last_depth = 0;
int last_ply = 0;

} // namespace

// Only search threads' positions are made and unmade while the hook is in
// place (the console's searches), so the owner is a SearchThread.
static void trace_move(const Position& pos, Move m) {
    const SearchThread& t = static_cast<const SearchThread&>(*pos.owner);
    if (t.search_ply > control.trace_level)
        return;
    std::lock_guard<std::mutex> guard(trace_mutex);
    if (!trace_file) {
        trace_file = std::fopen("trace.txt", "w");
        if (!trace_file)
            std::exit(1);
    }
    const int depth = t.iteration_depth;
    if (depth > last_depth)
        std::fprintf(trace_file, "\n\nSEARCH DEPTH= %d\n", depth);
    if (t.search_ply <= last_ply) {
        std::fputc('\n', trace_file);
        for (int i = 1; i < t.search_ply; ++i)
            std::fputs("         ", trace_file);
    }
    char text[MOVE_TEXT_SIZE];
    move_to_coord(pos, pos.side, m, text);
    std::fprintf(trace_file, "(%2d)%s ", t.plies[t.search_ply].depth, text);
    std::fflush(trace_file);
    last_depth = depth;
    last_ply = t.search_ply;
}

void set_trace_level(int level) {
    control.trace_level = uint8_t(level);
    move_trace_hook = level ? trace_move : nullptr;
}

} // namespace zelk
