// The two command languages: UCI for interfaces, the console language for people.
#pragma once

#include <string>

namespace zelk {

void uci_command(const std::string& line);
void console_command(const std::string& line);

// The pruning parameters and reduction tables on standard output ("_show", "lmr").
void show_search_params();

// "position" arguments: sets the game position and plays the listed moves.
// A move that is malformed or illegal ends the list there.
void set_position_command(const std::string& line);

} // namespace zelk
