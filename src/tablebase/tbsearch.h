// The bridge between the engine's positions and the tablebase probes: when a
// probe is allowed, the in-search WDL probe and the root probe that ranks the
// root moves by DTZ.
#pragma once

#include <cstdint>

#include "core/position.h"
#include "core/types.h"
#include "tablebase/tbprobe.h"

namespace zelk::tb {

constexpr int TB_ROOT_MOVES = 192;

// What the root probe learns; wdl is WDL + 2 (0..4) or -1.
struct TbRootResult {
    int wdl = -1;
    int dtz = 0;                           // absolute DTZ of the root
    Move move = NO_MOVE;                   // the table's choice, 0 when none
    Move keep[TB_ROOT_MOVES + 1] = {};     // root moves that keep the result, 0-ended
};

// The probe record of a position; the halfmove clock only when asked.
TbPosition tb_position(const Position& pos, bool with_rule50);
// Engine encoding of a table move.
Move tb_to_engine_move(TbMove m);

// In-search probe: WDL + 2, or -1 when not allowed here or not found.
// A probe needs a remaining depth of at least min_depth, and of depth6 for
// six men.
int tb_probe_wdl_search(const Position& pos, int depth, int min_depth, int depth6);
// Root probe with DTZ: WDL + 2 (filling out), or -1 (failure, and also a
// checkmated or stalemated root).
int tb_probe_root(const Position& pos, TbRootResult& out);
// The root as the search uses it: the DTZ root probe, else the in-search
// probe at depth 70 (then without a move). WDL + 2 or -1.
int tb_resolve_root(const Position& pos, int min_depth, int depth6, TbRootResult& out);

} // namespace zelk::tb
