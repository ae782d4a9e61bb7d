// Opening positions for a testing framework's data-generation games.
#pragma once

#include <string>

namespace zelk {

// "genfens N seed S book B [plies P]": N distinct positions, each a start
// (a random line of the EPD file B, or the start position when B is "None")
// followed by P random legal plies (default 8 from the start position, 4
// from a book line), kept when a short search scores it within 150
// centipawns; printed as "info string genfens <FEN>". The same seed gives
// the same positions. Leaves the game at the start position.
void genfens_command(const std::string& args);

} // namespace zelk
