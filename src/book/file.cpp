#include <sys/stat.h>

#include "book/book.h"

namespace zelk {

void book_entry_encode(const BookEntry& e, unsigned char* bytes) {
    for (int i = 0; i < 8; ++i)
        bytes[i] = uint8_t(e.key >> (56 - 8 * i));
    bytes[8] = uint8_t(e.move >> 8);
    bytes[9] = uint8_t(e.move);
    bytes[10] = uint8_t(e.weight >> 8);
    bytes[11] = uint8_t(e.weight);
    for (int i = 0; i < 4; ++i)
        bytes[12 + i] = uint8_t(e.learn >> (24 - 8 * i));
}

BookEntry book_entry_decode(const unsigned char* bytes) {
    BookEntry e{};
    for (int i = 0; i < 8; ++i)
        e.key = e.key << 8 | bytes[i];
    e.move = uint16_t(bytes[8] << 8 | bytes[9]);
    e.weight = uint16_t(bytes[10] << 8 | bytes[11]);
    for (int i = 12; i < 16; ++i)
        e.learn = e.learn << 8 | bytes[i];
    return e;
}

BookFile::BookFile(const char* name) {
    if (!name || !name[0])
        return;
    file = std::fopen(name, "rb");
    if (!file)
        return;
    // Only a regular file holds entries (a directory opens but cannot be read).
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return;
    entries = int64_t(info.st_size) / BOOK_ENTRY_BYTES;
}

BookFile::~BookFile() {
    if (file)
        std::fclose(file);
}

bool BookFile::read(int64_t index, BookEntry& e) {
    if (index < 0 || index >= entries)
        return false;
    unsigned char bytes[BOOK_ENTRY_BYTES];
    if (fseeko(file, off_t(index * BOOK_ENTRY_BYTES), SEEK_SET) != 0 || std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes)
        return false;
    e = book_entry_decode(bytes);
    return true;
}

int book_find(BookFile& book, uint64_t key, BookEntry* out) {
    if (book.entries == 0)
        return 0;
    int64_t lo = -1, hi = book.entries - 1;
    BookEntry e;
    if (!book.read(hi, e))
        return 0;
    while (hi - lo > 1) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (!book.read(mid, e))
            return 0;
        if (e.key >= key)
            hi = mid;
        else
            lo = mid;
    }
    int n = 0;
    for (int64_t i = hi; n < BOOK_KEY_ENTRIES && book.read(i, e) && e.key == key; ++i)
        out[n++] = e;
    return n;
}

} // namespace zelk
