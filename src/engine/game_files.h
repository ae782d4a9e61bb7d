// Console commands that read or write files and the board editor.
#pragma once

namespace zelk {

// "get": the first line of "test.epd" naming the id sets the position.
void get_test_position(const char* id);

// "load": the first game of a PGN file, or the game whose header holds `tag`.
void load_game(const char* file_name, const char* tag);

// "save": appends the game to "tmp.pgn" in short algebraic notation.
void save_game();

// "edit": sets up a position from piece lists typed on standard input.
void edit_position();

} // namespace zelk
