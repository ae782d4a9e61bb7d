// The referee's view of a game: the position from a start FEN through the
// moves played, move legality and notation from the position core, the
// rules that end a game, and the PGN record.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/types.h"

namespace zelk {
struct BoardState;
}

namespace referee {

// Once per process, before any ChessGame.
void init_chess();

enum class Ending { None, Checkmate, Stalemate, Repetition, FiftyMoves, Material };

class ChessGame {
public:
    ChessGame();
    ~ChessGame();

    // Sets the start position. False, with the reason, for a FEN that is
    // not a playable position (kings missing, the side not to move in
    // check, no legal move).
    bool reset(const std::string& fen, std::string& error);

    int side_to_move() const;   // zelk::WHITE or zelk::BLACK
    int plies() const { return int(moves_.size()); }
    int start_side() const { return start_side_; }
    int start_fullmove() const { return start_fullmove_; }
    const std::string& start_fen() const { return start_fen_; }
    bool from_start_position() const { return standard_start_; }

    // The legal move written `text` in coordinate notation, or NO_MOVE.
    zelk::Move find_move(const std::string& text) const;
    bool has_legal_move() const;

    // SAN of a legal move, "+" or "#" added.
    std::string san(zelk::Move m);
    void play(zelk::Move m, const std::string& coordinate);

    // How the position reached ends the game, if it does.
    Ending ending() const;
    // True when the side has nothing but its king.
    bool bare_king(int side) const;

    // "position startpos|fen ... moves ..." with the moves played and the
    // extra moves given.
    std::string position_command(const std::vector<std::string>& extra = {}) const;

private:
    std::string repetition_key() const;

    std::unique_ptr<zelk::BoardState> board_;
    std::string start_fen_;
    bool standard_start_ = true;
    int start_side_ = 0;
    int start_fullmove_ = 1;
    std::vector<std::string> moves_;
    std::vector<std::string> keys_;   // repetition key of every position, the start included
};

// One finished game as PGN.
struct PgnGame {
    std::vector<std::pair<std::string, std::string>> tags;
    std::string first_comment;          // before the first move (a fault before any move)
    std::vector<std::string> sans;
    std::vector<std::string> comments;  // one per move, may be empty
    std::string last_comment;           // after the last move
    int start_side = 0;
    int start_fullmove = 1;
    std::string result;
};

// Appends the game (lines of at most 79 characters) and flushes.
bool write_pgn(std::FILE* file, const PgnGame& game);

} // namespace referee
