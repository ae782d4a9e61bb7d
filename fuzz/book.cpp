// Polyglot book files: the book is followed from the start position as a
// game follows it (the engine's own book move, which also refuses moves
// that draw), with UCI and console reports and several varieties, and a
// few other positions are looked up; then the runs of two keys are read
// raw. Whatever the file holds, a move given must be legal.
#include <string>

#include "book/book.h"
#include "common.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/position.h"
#include "engine/game.h"
#include "engine/opening_book.h"
#include "engine/options.h"
#include "search/control.h"
#include "search/thread.h"

namespace zelk::fuzz {
namespace {

constexpr int LINE_PLIES = 16;

const char* const OTHER_POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "4k3/1P6/8/8/8/8/6p1/4K3 w - -",
};

void check_legal(Move m, const char* where) {
    if (m && !game_move_is_legal(m))
        fail("the book gave a move that is not legal", where);
}

} // namespace
} // namespace zelk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zelk;
    using namespace zelk::fuzz;
    init_engine();
    const std::string path = write_file("input.bin", data, size);
    std::srand(1);
    copy_text(options.OwnBook_File, path.c_str());
    options.OwnBook_Depth = 60;
    options.OwnBook2_Depth = 0;
    const int varieties[] = {25, 0, 100};
    const int16_t modes[] = {1, 0, 0};
    const float noises[] = {9999, 0, 9999};
    for (int v = 0; v < 3; ++v) {
        options.OwnBook_Variety = int16_t(varieties[v]);
        control.protocol_mode = modes[v];
        control.noise = noises[v];
        reset_game();
        for (int ply = 0; ply < LINE_PLIES; ++ply) {
            const Move m = game_book_move();
            check_legal(m, "on the book line");
            if (!m)
                break;
            game_make_move(m);
        }
    }
    control.protocol_mode = 1;
    control.noise = 9999;
    for (const char* fen : OTHER_POSITIONS) {
        pos_from_fen(game->pos, fen);
        check_legal(book_probe(game->pos, path.c_str(), BookStyle{}), fen);
    }
    reset_game();
    BookFile book(path.c_str());
    BookEntry run[BOOK_KEY_ENTRIES];
    for (const uint64_t key : {book_key(game->pos), uint64_t(0)})
        if (book_find(book, key, run) > BOOK_KEY_ENTRIES)
            fail("book_find overran its run", path);
    options.OwnBook_File[0] = 0;
    return 0;
}
