#include <cstdlib>
#include <cstring>

#include "book/book.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "io/output.h"

namespace zelk {

namespace {

// "e2e4" from the Polyglot move's own squares (castling shows as e1h1).
void polyglot_move_text(uint16_t polyglot_move, char* out) {
    square_name((polyglot_move >> 6) & 63, out);
    square_name(polyglot_move & 63, out + 2);
}

double share(int64_t part, int64_t whole) { return whole > 0 ? double(part) * 100 / double(whole) : 0.0; }

} // namespace

void book_weigh(const BookEntry* entries, int n, int variety, BookWeights& w) {
    w.total = 0;
    for (int i = 0; i < n; ++i)
        w.total += entries[i].weight;
    const int64_t shift = n > 0 ? int64_t(entries[0].weight * 0.01 * (variety - 25)) : 0;
    w.adjusted_total = 0;
    for (int i = 0; i < n; ++i) {
        const int64_t a = w.total > 0 ? (entries[i].weight + shift) * 10000 / w.total : 0;
        w.adjusted[i] = a > 0 ? a : 0;
        w.adjusted_total += w.adjusted[i];
    }
}

uint32_t book_random_draw() { return (uint32_t(std::rand()) * 98765u + 123456789u) % 1000u; }

int book_choose(const BookEntry* entries, int n, const BookWeights& w, uint32_t x) {
    const int64_t threshold = int64_t(double(w.adjusted_total) * 0.001 * x);
    int choice = 0;
    int64_t sum = 0;
    for (int i = 0; i < n; ++i) {
        if (entries[i].weight == 0)
            continue;
        if (sum < threshold)
            choice = i;
        sum += w.adjusted[i];
    }
    return choice;
}

Move book_probe(Position& pos, const char* file_name, const BookStyle& style) {
    if (!file_name || !file_name[0])
        return NO_MOVE;
    BookEntry entries[BOOK_KEY_ENTRIES];
    int n;
    {
        BookFile book(file_name);
        n = book_find(book, book_key(pos), entries);
    }
    if (n == 0)
        return NO_MOVE;

    BookWeights w;
    book_weigh(entries, n, style.variety, w);
    const int choice = book_choose(entries, n, w, book_random_draw());

    char text[8];
    if (style.uci) {
        char line[32 + BOOK_KEY_ENTRIES * 6] = "info string ( book moves are: ";
        size_t len = std::strlen(line);
        for (int i = 0; i < n; ++i) {
            if (entries[i].weight == 0)
                continue;
            polyglot_move_text(entries[i].move, text);
            std::memcpy(line + len, text, 4);
            line[len + 4] = ' ';
            len += 5;
        }
        std::memcpy(line + len, " )", 3);
        emit_line(line);
    } else if (!style.quiet) {
        char line[96];
        for (int i = 0; i < n; ++i) {
            if (entries[i].weight == 0)
                continue;
            polyglot_move_text(entries[i].move, text);
            std::snprintf(line, sizeof line, "  %s  cnt= %5d, weight= %5.2f%% -> %5.2f%%", text, entries[i].weight,
                          share(entries[i].weight, w.total), share(w.adjusted[i], w.adjusted_total));
            emit_line(line);
        }
        char from[3], to[3];
        square_name((entries[choice].move >> 6) & 63, from);
        square_name(entries[choice].move & 63, to);
        std::snprintf(line, sizeof line, "selecting %s%s", from, to);
        emit_line(line);
    }

    const Move m = book_move_to_engine(entries[choice].move, pos);
    if (!is_pseudo_legal(pos, m) || !is_legal(pos, pos.side, m))
        return NO_MOVE;
    return m;
}

} // namespace zelk
