// Process entry. Sets up the tables the position core needs, greets, and
// reads commands until "quit" or the end of input.
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/attacks.h"
#include "core/hashcodes.h"
#include "core/perft.h"
#include "engine/output.h"
#include "search/thread.h"

int main() {
    using namespace zelk;
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    init_attack_tables();
    make_hash_codes();
    auto game = std::make_unique<SearchThread>();
    thread_record_init(*game);
    pos_from_fen(game->pos, START_FEN);
    emit_line("info string Hello from Zelk 5.20");
    char line[5000];
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\r\n")] = 0;
        if (std::strcmp(line, "quit") == 0)
            break;
        if (std::strcmp(line, "d") == 0)
            show_board(game->pos);
    }
    return 0;
}
