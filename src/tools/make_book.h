// Book building: counts how each move of the first moves of decided and
// drawn games scored for its side, and writes the moves that scored well
// as a Polyglot book, "tmp_book.bin" in the working directory.
#pragma once

namespace zelk {

// Reads the PGN file and writes the book; nothing at all when the file
// cannot be opened, no book when memory runs out.
void make_book(const char* pgn_name);

} // namespace zelk
