// Polyglot opening books: the position key, the 16-byte big-endian entry,
// the book file with its bisection, and the weighted choice of a book move.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/position.h"
#include "core/types.h"

namespace zelk {

constexpr int BOOK_ENTRY_BYTES = 16;
// Entries of one key looked at; the rest of a longer run is ignored.
constexpr int BOOK_KEY_ENTRIES = 128;

struct BookEntry {
    uint64_t key;
    uint16_t move;      // to-square bits 0-5, from-square 6-11, promotion 12-14
    uint16_t weight;
    uint32_t learn;
};

// Polyglot key: men, castling rights, the en-passant file when a pawn of the
// side to move stands beside the pawn that just made a double step, white to move.
uint64_t book_key(const Position& pos);

// Engine move for a Polyglot move field. e1h1, e1a1, e8h8, e8a8 are castling
// when a king stands on the from-square; promotion 1..4 = N, B, R, Q.
Move book_move_to_engine(uint16_t polyglot_move, const Position& pos);

// Polyglot move field for an engine move of the side to move in pos:
// castling becomes king-takes-rook with promotion field 0.
uint16_t book_move_from_engine(Move m, const Position& pos);

void book_entry_encode(const BookEntry& e, unsigned char* bytes);
BookEntry book_entry_decode(const unsigned char* bytes);

// A book file opened for reading, closed with the record. A missing file, a
// directory or a file shorter than one entry opens as an empty book; a
// trailing partial entry is not counted.
struct BookFile {
    explicit BookFile(const char* name);
    ~BookFile();
    BookFile(const BookFile&) = delete;
    BookFile& operator=(const BookFile&) = delete;

    // False when index is outside the book or the read fails.
    bool read(int64_t index, BookEntry& e);

    std::FILE* file = nullptr;
    int64_t entries = 0;
};

// Bisects for the first entry whose key is not below key and copies the run
// of entries with that key (at most BOOK_KEY_ENTRIES) into out. Returns the
// count, 0 when the key is absent. An unsorted book gives some run or none.
int book_find(BookFile& book, uint64_t key, BookEntry* out);

// Weights of one key after the variety shift: adjusted[i] =
// max(0, (weight_i + d) * 10000 / total), d = trunc(first weight * 0.01 * (variety - 25)).
struct BookWeights {
    int64_t total;
    int64_t adjusted_total;
    int64_t adjusted[BOOK_KEY_ENTRIES];
};
void book_weigh(const BookEntry* entries, int n, int variety, BookWeights& w);

// The draw behind a choice: (rand() * 98765 + 123456789) mod 1000, unsigned 32-bit.
uint32_t book_random_draw();

// Index of the entry chosen for draw x (0..999): the last entry of stored
// weight above 0 whose running sum of adjusted weights before it is below
// trunc(adjusted_total * x / 1000); entry 0 when none qualifies.
int book_choose(const BookEntry* entries, int n, const BookWeights& w, uint32_t x);

// How a probe reports: UCI lists the book moves on one "info string" line;
// the console lists each move with its shares unless quiet.
struct BookStyle {
    int variety = 25;
    bool uci = true;
    bool quiet = false;
};

// The book move for pos from the named file, or 0: an empty name, an
// unreadable book, an absent key or an illegal book move all give 0.
Move book_probe(Position& pos, const char* file_name, const BookStyle& style);

} // namespace zelk
