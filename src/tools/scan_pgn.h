// PGN scanning: games whose moves carry engine evaluations in comments
// become an annotated listing (mode 1) or EPD position files (modes 2-4).
#pragma once

#include <string_view>

namespace zelk {

// Score of a move without a comment, and of a comment that holds none.
constexpr int SCORE_NO_COMMENT = -30000;
constexpr int SCORE_UNREADABLE = -29999;

// The score a comment gives the move it follows, from the mover's point of
// view: "book" 0; "eval N" N (white's view, so negated for black's moves);
// else the word before the first "/" as pawns ("+M"/"-M": +-9000);
// otherwise SCORE_UNREADABLE.
int comment_score(std::string_view comment, bool black_moved);

// Reads the PGN file `input_name` and writes mode 1's listing or the
// positions of modes 2-4 to `output_name`, and mode 1's best-move lines to
// "tmpX.epd"; prints the progress and the totals. Does nothing (but say so)
// when a file cannot be opened.
void scan_pgn(const char* input_name, const char* output_name, int mode);

} // namespace zelk
