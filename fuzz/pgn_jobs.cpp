// PGN files through the jobs that read them: the four scanning modes and the
// book builder, whose book must come out sorted by key for the bisection
// that reads it; then the built book is probed from the start position.
#include <cstdio>
#include <string>

#include "book/book.h"
#include "common.h"
#include "search/control.h"
#include "search/thread.h"
#include "tools/make_book.h"
#include "tools/scan_pgn.h"

namespace zelk::fuzz {
namespace {

void check_book(const char* name) {
    BookFile book(name);
    BookEntry previous{}, e{};
    for (int64_t i = 0; i < book.entries; ++i) {
        if (!book.read(i, e))
            fail("the built book cannot be read back", name);
        if (i > 0 && e.key < previous.key)
            fail("the built book is not sorted by key", name);
        previous = e;
    }
}

} // namespace
} // namespace zelk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zelk;
    using namespace zelk::fuzz;
    init_engine();
    const std::string path = write_file("input.pgn", data, size);
    for (int mode = 1; mode <= 4; ++mode)
        scan_pgn(path.c_str(), "scan.epd", mode);
    std::remove("tmp_book.bin");
    make_book(path.c_str());
    check_book("tmp_book.bin");
    reset_game();
    book_probe(game->pos, "tmp_book.bin", BookStyle{});
    return 0;
}
