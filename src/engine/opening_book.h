// The opening books in play: the probe that may answer a normal "go"
// without a search, and the console's "book" listing.
#pragma once

#include "core/types.h"

namespace zelk {

// The book move for the game position, or 0. The first book is asked while
// the game ply is below OwnBook_Depth, the second one, when the first gave
// nothing, while it is below OwnBook2_Depth. A move after which the game
// would be drawn by repetition or the fifty-move rule is dropped. A move
// that stands is announced ("book move is ...", and in UCI mode an info
// line with score 0 and the move as its line).
Move game_book_move();

// Console "book": both books probed on the game position, each listing
// followed by an empty line.
void book_command();

} // namespace zelk
