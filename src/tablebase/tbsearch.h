// The bridge between the engine's positions and the tablebase probes: when a
// probe is allowed, the in-search WDL probe and the root probe that ranks the
// root moves by DTZ.
#pragma once

#include <cstdint>

#include "core/position.h"
#include "core/types.h"
#include "tablebase/tbprobe.h"

namespace zelk::tb {

// Remaining-depth limits of the in-search probe; the engine writes them from
// its options.
struct TbConfig {
    int probe_depth = 0;       // general minimum (no option sets it)
    int probe_depth6 = 1;      // "SyzygyProbeDepth6"
};
extern TbConfig tb_config;

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
int tb_probe_wdl_search(const Position& pos, int depth);
// Root probe with DTZ: WDL + 2 (filling out), or -1 (failure, and also a
// checkmated or stalemated root).
int tb_probe_root(const Position& pos, TbRootResult& out);
// The root as the search uses it: the DTZ root probe, else the WDL probe at
// depth 70 (then without a move). WDL + 2 or -1.
int tb_resolve_root(const Position& pos, TbRootResult& out);

} // namespace zelk::tb
