// The board record: a 64-byte mailbox kept in step with one bitboard per
// coloured piece kind, incremental material counters and Zobrist keys,
// castling data for standard and Chess960 set-ups, and FEN in and out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/types.h"

namespace zelk {

struct BoardState;

struct Position {
    BoardState* owner;             // record holding this position's history stack
    uint8_t board[64];             // piece code per square, 0 = empty
    uint8_t board_sentinel;        // always 0: board[64] reads as empty
    Bitboard pieces[16];           // [c*8] all of colour c, [c*8+type] by kind; 7 and 15 unused
    Bitboard touched;              // every from- and to-square since set-up
    Bitboard castle_mask[4];       // king square + rook square per right
    Bitboard castle_path[4];       // squares that must be empty per right
    uint64_t key;                  // Zobrist key; bit 32 = side to move
    uint64_t pawn_key;             // pawns of both colours only
    uint32_t mat_sig[2];           // packed counts, four bits per type
    uint16_t npm[2];               // non-pawn material points
    uint8_t castle_rook[4];        // rook start square per right, 64 = none
    uint8_t king_sq[2];            // 64 = no king
    uint8_t side;
    uint8_t ep_square;             // en-passant target, 64 = none
    uint8_t castle_rights;         // bits 1, 2, 4, 8 = rights 0..3
    uint8_t halfmove;
};

inline Bitboard occupancy(const Position& pos) { return pos.pieces[0] | pos.pieces[8]; }
inline Bitboard pieces_of(const Position& pos, int colour, int type) { return pos.pieces[colour * 8 + type]; }
inline Bitboard colour_pieces(const Position& pos, int colour) { return pos.pieces[colour * 8]; }

void pos_clear(Position& pos);
void pos_put_piece(Position& pos, int colour, int type, int sq);
void pos_remove_piece(Position& pos, int sq);
void pos_toggle_key(Position& pos, int code, int sq);
void pos_setup_castling(Position& pos, const char* field);
void pos_compute_keys(const Position& pos, uint64_t& key, uint64_t& pawn_key);
void pos_compute_keys(Position& pos);

// Sets the position from FEN text. Never fails: unknown characters are
// skipped; a rank or board that overruns its squares is clipped (the extra
// pieces are dropped), and so are pawns on the first or last rank. Returns 0.
int pos_from_fen(Position& pos, const char* text);

// The halfmove clock of a FEN's fifth field, which the FEN reader leaves
// alone: its value (numbers above 9999 read as 9999), FEN_CLOCK_ABSENT when
// the text has no fifth field, FEN_CLOCK_JUNK when the field is not a whole
// number of digits.
constexpr int FEN_CLOCK_ABSENT = -1, FEN_CLOCK_JUNK = -2;
int fen_halfmove_clock(std::string_view fen);

// Writes the FEN text (at most FEN_BUFFER_SIZE bytes with the terminator).
constexpr size_t FEN_BUFFER_SIZE = 96;
void pos_to_fen(const Position& pos, char* buffer, bool with_counters);

// Square name "a1".."h8"; the empty string for 64. Writes 3 bytes at most.
void square_name(int sq, char* out);

// The board text: FEN with counters, eight rank lines, the side to move.
std::string board_text(const Position& pos);

constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

} // namespace zelk
