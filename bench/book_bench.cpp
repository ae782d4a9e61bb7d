// Opening books: probes per second on the shipped Polyglot book (each probe
// opens the file, bisects, reads the key's entries, chooses and checks the
// move, as a "go" does), the key alone, and the "-mkbook" job on the human
// games.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "book/book.h"
#include "core/attacks.h"
#include "core/board.h"
#include "core/hashcodes.h"
#include "core/makemove.h"
#include "io/locks.h"
#include "tools/make_book.h"

namespace {

using namespace zelk;

const std::string BOOK = std::string(ZELK_SHARED_DATA) + "/books/gnuchess-public-domain.bin";
const std::string GAMES = std::string(ZELK_SHARED_DATA) + "/suites/games-human.pgn";

// Positions reached from the start by book moves, breadth first: all of
// them are in the book.
std::vector<Position> book_positions(BoardState& b, size_t wanted) {
    std::vector<Position> found;
    pos_from_fen(b.pos, START_FEN);
    found.push_back(b.pos);
    BookFile file(BOOK.c_str());
    for (size_t next = 0; next < found.size() && found.size() < wanted; ++next) {
        b.pos = found[next];
        b.pos.owner = &b;
        b.history_count = 0;
        BookEntry entries[BOOK_KEY_ENTRIES];
        const int n = book_find(file, book_key(b.pos), entries);
        for (int i = 0; i < n && found.size() < wanted; ++i) {
            make_move(b.pos, book_move_to_engine(entries[i].move, b.pos));
            BookEntry any[BOOK_KEY_ENTRIES];
            if (book_find(file, book_key(b.pos), any) > 0)
                found.push_back(b.pos);
            unmake_move(b.pos);
        }
    }
    return found;
}

struct Setup {
    std::unique_ptr<BoardState> board = std::make_unique<BoardState>();
    std::vector<Position> positions;
    Setup() {
        init_attack_tables();
        make_hash_codes();
        init_locks();
        board_init(*board);
        positions = book_positions(*board, 2000);
    }
};

Setup& setup() {
    static Setup s;
    return s;
}

void BM_BookProbe(benchmark::State& state) {
    Setup& s = setup();
    BoardState& b = *s.board;
    const BookStyle quiet{25, false, true};
    size_t i = 0, found = 0;
    for (auto _ : state) {
        b.pos = s.positions[i++ % s.positions.size()];
        b.pos.owner = &b;
        found += book_probe(b.pos, BOOK.c_str(), quiet) != NO_MOVE;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["found"] = double(found) / double(state.iterations());
    state.SetLabel(std::to_string(s.positions.size()) + " book positions");
}
BENCHMARK(BM_BookProbe);

void BM_BookKey(benchmark::State& state) {
    Setup& s = setup();
    size_t i = 0;
    uint64_t sum = 0;
    for (auto _ : state)
        sum += book_key(s.positions[i++ % s.positions.size()]);
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_BookKey);

// The whole job, its printing sent to /dev/null, in a scratch directory.
void BM_MakeBookHumanGames(benchmark::State& state) {
    setup();
    char dir[] = "/tmp/zelk-bookbench-XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no scratch directory");
        return;
    }
    char old_dir[4096];
    if (!getcwd(old_dir, sizeof old_dir) || chdir(dir) != 0) {
        state.SkipWithError("cannot change directory");
        return;
    }
    std::fflush(stdout);
    const int saved = dup(1);
    const int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 1);
    for (auto _ : state)
        make_book(GAMES.c_str());
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(null_fd);
    std::remove("tmp_book.bin");
    if (chdir(old_dir) != 0)
        state.SkipWithError("cannot return");
    rmdir(dir);
    state.SetLabel("2234 games");
}
BENCHMARK(BM_MakeBookHumanGames)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
