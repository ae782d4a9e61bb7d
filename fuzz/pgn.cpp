// PGN text through the reader: games cut from the file (lines read whole up
// to the jobs' limit, and again in short pieces, which the lexer must join),
// their tags, and their main lines replayed move by move.
#include <cstdio>
#include <string>

#include "common.h"
#include "core/board.h"
#include "core/makemove.h"
#include "pgn/pgn.h"
#include "tools/board_record.h"

namespace zelk::fuzz {
namespace {

constexpr int MAX_PLIES = 800;   // below the history stack's 900

void read_games(const std::string& path, size_t max_chars, size_t max_plies) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        fail("cannot open", path);
    static BoardRecord board;
    pgn::GameReader reader(f, max_chars, max_plies);
    pgn::Game game;
    while (reader.next(game)) {
        game.tag("FEN");
        game.tag("Result");
        if (game.moves.size() > max_plies)
            fail("the reader kept more moves than asked", path);
        const int played = pgn::replay(game, board.pos(), MAX_PLIES);
        if (played > int(game.moves.size()))
            fail("replay played more moves than the game has", path);
    }
    std::fclose(f);
}

} // namespace
} // namespace zelk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zelk::fuzz;
    init_engine();
    const std::string path = write_file("input.pgn", data, size);
    read_games(path, 1023, MAX_PLIES);
    read_games(path, 17, 40);
    return 0;
}
