// The EPD line reader shared by the analysis and tuning-data jobs.
#pragma once

#include <string>

namespace zelk {

// One EPD line. `position` holds the first four fields (placement, side,
// castling, en passant) joined by single blanks. The operations the jobs
// read keep their operands with every blank removed, so that several moves
// stay apart only when commas separate them; an absent operation is empty.
struct EpdLine {
    std::string position;
    std::string bm;    // best moves
    std::string am;    // avoid move
    std::string ce;    // centipawn evaluation
    std::string sc;    // score
    std::string gr;    // game result
    std::string id;
    std::string c0;    // scored moves: "move=points,..."
};

// Reads `line` (its line end may be present) into `out`: the position, then
// after the optional move counters the operations "opcode operands;", other
// opcodes skipped, until the line ends or an operation is empty. Returns 0,
// or -1 when there is no line.
int parse_epd_line(const char* line, EpdLine& out);

} // namespace zelk
