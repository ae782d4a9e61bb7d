// Vocabulary of the position core: squares, pieces, moves, scores and the
// small records shared by every subsystem. No I/O here.
#pragma once

#include <cstdint>

namespace zelk {

// Bit n is square n: a1 = 0, b1 = 1, ..., h8 = 63. 64 bits on every target.
using Bitboard = uint64_t;

using Square = int;               // 0..63, NO_SQUARE = 64
constexpr int NO_SQUARE = 64;
constexpr int file_of(int sq) { return sq & 7; }
constexpr int rank_of(int sq) { return sq >> 3; }
constexpr int make_square(int file, int rank) { return file + 8 * rank; }
constexpr Bitboard bit(int sq) { return Bitboard(1) << sq; }

enum Color : uint8_t { WHITE = 0, BLACK = 1 };

// Piece types (low three bits of a piece code).
enum PieceType : uint8_t { NO_TYPE = 0, PAWN = 1, KNIGHT = 2, BISHOP = 3, ROOK = 4, QUEEN = 5, KING = 6 };

// Piece code: colour * 8 + type; bit 3 is the colour. 0 = empty square.
constexpr int piece_code(int colour, int type) { return colour * 8 + type; }
constexpr int type_of(int code) { return code & 7; }
constexpr int colour_of(int code) { return code >> 3; }

constexpr char WHITE_LETTERS[] = " PNBRQK";
constexpr char BLACK_LETTERS[] = " pnbrqk";

// Non-pawn material points and material-signature increments by type.
constexpr uint16_t NPM_POINTS[8] = {0, 0, 3, 3, 5, 10, 0, 0};
constexpr uint32_t MAT_SIG_INC[8] = {0, 0x1, 0x10, 0x100, 0x1000, 0x10000, 0, 0};

// Move (16 bits): to-square in bits 0-5, from-square in bits 8-13.
// Flags (mask 0xC0C0) mean promotion for a pawn, castling for a king:
//   0x0040 queen / short castling, 0x0080 knight / long castling,
//   0x4000 bishop, 0x8000 rook.
// En passant and double pushes carry no flag. 0 = no move (also the null
// move in the history), 0xFFFF ends a move list.
using Move = uint16_t;
constexpr Move NO_MOVE = 0;
constexpr Move END_OF_LIST = 0xFFFF;
constexpr uint16_t FLAG_MASK = 0xC0C0;
constexpr uint16_t FLAG_QUEEN = 0x0040, FLAG_SHORT = 0x0040;
constexpr uint16_t FLAG_KNIGHT = 0x0080, FLAG_LONG = 0x0080;
constexpr uint16_t FLAG_BISHOP = 0x4000, FLAG_ROOK = 0x8000;

constexpr int move_to(Move m) { return m & 63; }
constexpr int move_from(Move m) { return (m >> 8) & 63; }
constexpr uint16_t move_flags_of(Move m) { return m & FLAG_MASK; }
constexpr Move make_move_code(int from, int to, uint16_t flags = 0) { return Move((from << 8) | to | flags); }

// Promotion piece type for a flagged pawn move (anything unrecognised is a queen).
constexpr int promotion_type(Move m) {
    switch (m & FLAG_MASK) {
    case FLAG_KNIGHT: return KNIGHT;
    case FLAG_BISHOP: return BISHOP;
    case FLAG_ROOK: return ROOK;
    default: return QUEEN;
    }
}

// Castling right indices: 0 white short, 1 white long, 2 black short, 3 black long.
constexpr int CASTLE_RIGHTS = 4;

// What a move changes that cannot be recomputed; one per move on the owner's stack.
struct UndoRecord {
    uint64_t key;
    uint64_t pawn_key;
    Move move;               // castling: king's real destination in the to-field
    uint8_t captured;        // type of the piece taken on the to-square, 0 if none
    uint8_t ep_square;
    Bitboard touched;
    uint8_t halfmove;
    uint8_t castle_rights;
    uint8_t piece;           // code of the piece that moved (the king when castling), 0 for a null move
};

// One move-list entry (6 bytes). Lists end with move END_OF_LIST.
struct MoveEntry {
    Move move;
    int16_t score;           // ordering score, written by the move picker
    uint8_t piece;           // code of the moving piece
    uint8_t victim;          // code on the to-square before the move (0: quiet, e.p., castling)
};
static_assert(sizeof(MoveEntry) == 6);

// With at most 16 pieces a side, a position has fewer than this many
// pseudo-legal moves (the terminator included).
constexpr int MAX_MOVES = 512;

// Room for the game plus the search: the history stack never grows past this.
constexpr int HISTORY_CAPACITY = 900;
// Ply records per thread (index 0 is the root's parent, 1 the root).
constexpr int MAX_PLY = 70;

} // namespace zelk
