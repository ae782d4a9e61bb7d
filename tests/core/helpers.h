// Shared helpers of the core tests: a heap-allocated thread record holding
// a position, and the perft suites.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/position.h"
#include "search/thread.h"

namespace zelk::test {

struct Board {
    std::unique_ptr<SearchThread> thread = std::make_unique<SearchThread>();
    Position& pos = thread->pos;
    explicit Board(const char* fen = START_FEN) {
        thread_record_init(*thread);
        pos_from_fen(pos, fen);
    }
    std::string fen(bool counters = false) const {
        char buffer[FEN_BUFFER_SIZE];
        pos_to_fen(pos, buffer, counters);
        return buffer;
    }
};

struct PerftCase {
    std::string fen;
    std::vector<uint64_t> counts;   // counts[d - 1] for depth d
};

// Reads "FEN ;D1 n ;D2 n ..." lines of a suite in the test data folder.
std::vector<PerftCase> load_perft_suite(const char* file_name);

// The square named `name`, e.g. "e4"; the move code between two named squares.
inline int square_of(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }
inline Move move_code(const char* from, const char* to, uint16_t flags = 0) {
    return make_move_code(square_of(from), square_of(to), flags);
}

// Legal moves of the side to move, in generation order.
std::vector<Move> legal_moves(Position& pos);

// Moves in any notation, e.g. "e2e4 e7e5", played on the board as game moves.
void play(Position& pos, const char* moves);

uint64_t perft_count(Board& b, int depth);

// The legal move written `text` in coordinate notation, or NO_MOVE; and the
// coordinate text of a move of the side to move.
Move find_move(Position& pos, const std::string& text);
std::string coord(const Position& pos, Move m);

// The FEN of the colour-flipped twin: ranks reversed, colours and the side
// to move swapped, castling letters and en passant mirrored.
std::string flip_fen(const std::string& fen);

// `count` bytes of noise, the same for the same seed (any byte, NUL included).
std::string noise_bytes(size_t count, uint32_t seed);

// Whether `text` has the shape of `pattern`, where '#' stands for an integer
// (an optional '-', then digits), '?' for one digit and '*' for a run of
// non-blank characters up to the pattern's next character; any other pattern
// character stands for itself. The text of each wildcard goes to `fields`.
bool fits(const std::string& text, const std::string& pattern, std::vector<std::string>* fields = nullptr);

// A training data line "FEN ce N; gr R;", the result R one of 1.0, 0.5 and
// 0.0; false when the line has another shape.
struct ScoredLine {
    std::string fen;
    int ce = 0;
    double gr = 0;
};
bool read_scored_line(const std::string& line, ScoredLine& out);

// Depth for suite perft runs: ZELK_PERFT_DEPTH, or the given default.
int perft_depth(int fallback);

} // namespace zelk::test
