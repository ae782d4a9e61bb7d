// The two command languages: UCI for interfaces, the console language for people.
#pragma once

#include <string>

namespace zelk {

void uci_command(const std::string& line);
void console_command(const std::string& line);

// The end of UCI input, once every command before it has run: a search
// bounded by depth, nodes or time goes on to its limit, an infinite or
// ponder search is stopped; either is answered, then the engine exits.
void uci_input_ended();

// The pruning parameters and reduction tables on standard output ("_show", "lmr").
void show_search_params();

// "position" arguments: sets the game position and plays the listed moves.
// A move that is malformed or illegal ends the list there.
void set_position_command(const std::string& line);

} // namespace zelk
