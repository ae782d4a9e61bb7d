// Network files: the loader on the input as a file; when it loads, the
// networks evaluate positions that reach every head and both input sets,
// each followed by its legal moves one by one, so that the first layer is
// also updated from the last evaluation rather than summed afresh (for a
// king-bucket network, checked against a fresh sum).
#include <string>

#include "common.h"
#include "core/board.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/position.h"
#include "eval/network_eval.h"
#include "nn/inference.h"
#include "nn/kbnet.h"
#include "nn/network.h"

namespace zelk::fuzz {
namespace {

const char* const POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",   // rook each
    "4k3/pp4pp/8/8/8/8/PP4PP/4K3 w - -",       // pawns only
    "2b1k3/pp4pp/8/8/8/8/PP4PP/2B1K3 b - -",   // a minor piece each
    "3qk3/8/8/8/8/8/8/3QK3 w - -",             // a queen each
    "k7/8/8/8/8/8/8/6NK w - -",                // bare minor
    "1k6/1pp5/8/8/8/8/5PP1/6K1 w - -",         // kings on different wings
};

} // namespace
} // namespace zelk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zelk;
    using namespace zelk::fuzz;
    init_engine();
    const std::string path = write_file("input.nn", data, size);
    if (load_network(path.c_str()) != NnLoad::LOADED)
        return 0;
    const bool kb_net = kb_networks.loaded;
    static KbContext kb;
    NnContext ctx;
    if (kb_net ? !kb_init_thread(kb) : !nn_init_thread(ctx))
        fail("no memory for the network context", "");
    Position& pos = scratch_board().pos;
    for (const char* fen : POSITIONS) {
        pos_from_fen(pos, fen);
        kb_net ? kb_network_score(kb, pos, true) : network_score(ctx, pos, true);
        MoveEntry list[MAX_MOVES];
        gen_all(pos, list);
        for (const MoveEntry* e = list; e->move != END_OF_LIST; ++e) {
            if (!is_legal(pos, pos.side, e->move))
                continue;
            make_move(pos, e->move);
            if (!kb_net)
                network_score(ctx, pos, false);
            else if (kb_evaluate(kb, pos) != kb_evaluate_fresh(kb_networks.net, pos))
                fail("the kept accumulators differ from a fresh sum", fen);
            unmake_move(pos);
        }
    }
    unload_kb_network();
    unload_networks();
    return 0;
}
