// Syzygy table files. The input is a first line "<table name> <n>", then the
// table's WDL file (its first n bytes) and its DTZ file (the rest, none when
// empty). Both are written under the table's name into a folder of their
// own, the folder is registered, and positions of that material (fixed
// pseudo-random placements, either colour first) are probed for WDL and
// DTZ, at the root as the search does and inside the search.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common.h"
#include "core/position.h"
#include "search/control.h"
#include "search/thread.h"
#include "tablebase/tbcore.h"
#include "tablebase/tbprobe.h"
#include "tablebase/tbsearch.h"

namespace zelk::fuzz {
namespace {

constexpr int POSITIONS = 12;

// A table name the registry can hold: "K...vK...", pieces from KQRBNP, at
// most five men.
bool is_table_name(const std::string& name) {
    const size_t v = name.find('v');
    if (v == std::string::npos || name.size() > 6 || name[0] != 'K' || v + 1 >= name.size() ||
        name[v + 1] != 'K' || name.find('v', v + 1) != std::string::npos)
        return false;
    int men = 0;
    for (char c : name)
        if (c != 'v') {
            if (!std::strchr("KQRBNP", c))
                return false;
            ++men;
        }
    return men <= 5;
}

uint64_t next_random(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// FEN of the men of `name` on random squares (pawns off the end ranks), the
// named first side White unless `swap`, the side to move `black` or White.
std::string placement(const std::string& name, bool swap, bool black, uint64_t& random) {
    char board[64];
    std::memset(board, 0, sizeof board);
    bool white = !swap;
    for (char c : name) {
        if (c == 'v') {
            white = swap;
            continue;
        }
        int sq;
        do {
            sq = int(next_random(random) % 64);
        } while (board[sq] || (c == 'P' && (sq < 8 || sq >= 56)));
        board[sq] = white ? c : char(c | 0x20);
    }
    std::string fen;
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const char c = board[rank * 8 + file];
            if (!c) {
                ++empty;
                continue;
            }
            if (empty)
                fen += char('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty)
            fen += char('0' + empty);
        if (rank)
            fen += '/';
    }
    return fen + (black ? " b - -" : " w - -");
}

void probe_positions(const std::string& name) {
    uint64_t random = 0;
    for (char c : name)
        random = random * 131 + uint8_t(c);
    for (int i = 0; i < POSITIONS; ++i) {
        const std::string fen = placement(name, i & 1, i & 2, random);
        Position& pos = game->pos;
        pos_from_fen(pos, fen.c_str());
        const tb::TbPosition p = tb::tb_position(pos, true);
        if (!tb::tb_is_valid(p))
            continue;
        int success = 0;
        const int wdl = tb::probe_wdl(p, success);
        if (success && (wdl < -2 || wdl > 2))
            fail("WDL out of range", fen);
        tb::probe_dtz(p, success);
        tb::tb_probe_wdl_search(pos, 10, 1, 1);
        tb::TbRootResult root;
        tb::tb_resolve_root(pos, 1, 1, root);
    }
}

} // namespace
} // namespace zelk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zelk;
    using namespace zelk::fuzz;
    static const std::string folder = [] {
        init_engine();
        const std::string dir = work_dir() + "/tables";
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
            fail("cannot make", dir);
        return dir;
    }();
    static std::string last;
    const std::string text = as_text(data, size);
    const size_t line_end = text.find('\n');
    if (line_end == std::string::npos)
        return 0;
    const std::string head = text.substr(0, line_end);
    const size_t blank = head.find(' ');
    const std::string name = head.substr(0, blank);
    if (!is_table_name(name) || blank == std::string::npos)
        return 0;
    const size_t body = line_end + 1;
    const size_t wdl_size = std::min<size_t>(std::strtoull(head.c_str() + blank + 1, nullptr, 10), size - body);
    if (!last.empty()) {
        std::remove((folder + "/" + last + ".rtbw").c_str());
        std::remove((folder + "/" + last + ".rtbz").c_str());
    }
    last = name;
    write_file("tables/" + name + ".rtbw", data + body, wdl_size);
    if (size > body + wdl_size)
        write_file("tables/" + name + ".rtbz", data + body + wdl_size, size - body - wdl_size);
    tb::init_tablebases(folder.c_str());
    probe_positions(name);
    tb::init_tablebases("");
    reset_game();
    return 0;
}
