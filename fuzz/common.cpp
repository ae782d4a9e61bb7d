#include "common.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core/attacks.h"
#include "core/board.h"
#include "core/hashcodes.h"
#include "core/position.h"
#include "engine/options.h"
#include "eval/kpk.h"
#include "eval/weights.h"
#include "io/locks.h"
#include "search/control.h"
#include "search/thread.h"
#include "search/tt.h"

namespace zelk::fuzz {

namespace {
std::string folder;
}

BoardState& scratch_board() {
    init_engine();
    static BoardState* const board = [] {
        auto* b = new BoardState{};
        board_init(*b);
        return b;
    }();
    return *board;
}

void init_engine() {
    if (!folder.empty())
        return;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        fail("no working folder", "");
    folder = cwd;
    // The engine polls standard input: at its end from the start, it never
    // waits for a line that cannot come.
    const int null_fd = open("/dev/null", O_RDONLY);
    if (null_fd < 0 || dup2(null_fd, 0) < 0)
        fail("cannot read /dev/null", "");
    close(null_fd);
    init_attack_tables();
    make_hash_codes();
    build_kpk_table();
    if (init_locks() != 0)
        fail("init_locks", "");
    game = new SearchThread{};
    thread_record_init(*game);
    options_set_defaults("/nonexistent");
    search_settings.Hash = 1;
    control.thread_count = 1;
    control.noise = 9999;
    if (!tt_alloc())
        fail("table allocation failed", "");
    init_eval_params();
    reset_game();
}

const std::string& work_dir() { return folder; }

std::string write_file(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = folder + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0)
        fail("cannot write", path);
    return path;
}

void reset_game() {
    pos_from_fen(game->pos, START_FEN);
    game->history_count = 0;
    game->history[0] = UndoRecord{};
    game->search_ply = 1;
    game->last_move = NO_MOVE;
}

void fail(const char* what, std::string_view detail) {
    std::fprintf(stderr, "fuzz: %s: %.*s\n", what, int(detail.size()), detail.data());
    std::abort();
}

std::string as_text(const uint8_t* data, size_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

bool has_number_above(const std::string& text, long long limit) {
    for (size_t i = 0; i < text.size();) {
        if (text[i] < '0' || text[i] > '9') {
            ++i;
            continue;
        }
        long long v = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            v = v > limit ? v : v * 10 + (text[i] - '0');
        if (v > limit)
            return true;
    }
    return false;
}

} // namespace zelk::fuzz
