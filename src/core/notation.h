// Moves as text: the coordinate writer, the four-form writer (coordinate,
// SAN and two reduced forms) and the reader that matches any of them.
#pragma once

#include "core/position.h"
#include "core/types.h"

namespace zelk {

// How moves are written: set by the front end from the protocol mode and
// the "UCI_Chess960" option.
struct NotationStyle {
    bool uci = true;        // promotions "e7e8q"; false: console "e7e8=Q"
    bool chess960 = false;  // castling written king-takes-rook
};
extern NotationStyle notation_style;

// Text buffers passed to the writers hold at least this many bytes.
constexpr int MOVE_TEXT_SIZE = 16;

// "e2e4", "e7e8q" (UCI style) or "e7e8=Q" (console style), "null" for 0.
// Castling is written king-to-destination, or king-takes-rook in the
// Chess960 style.
void move_to_coord(const Position& pos, int side, Move m, char* buffer);

// The four forms of a move of the side to move; "+" ends every form of a
// checking move (castling excepted).
void move_to_texts(const Position& pos, Move m, char* form1, char* form2, char* form3, char* form4);

// Reads a move in any of the four forms. Returns 1 and the move when exactly
// one legal move matches; otherwise 0 (several matches also print
// "ambiguous move" and leave the last match in result).
int parse_move(Position& pos, const char* text, Move& result);

} // namespace zelk
