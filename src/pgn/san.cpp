#include <algorithm>
#include <array>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/position.h"
#include "pgn/pgn.h"

namespace zelk::pgn {

namespace {

// What the text of a move asks for.
struct Wanted {
    int type = NO_TYPE;        // moving piece; NO_TYPE for coordinates
    int from_file = -1, from_rank = -1;
    int to = NO_SQUARE;
    int promotion = NO_TYPE;
    int castle = 0;            // 1 short, 2 long
};

int file_at(char c) { return c >= 'a' && c <= 'h' ? c - 'a' : -1; }
int rank_at(char c) { return c >= '1' && c <= '8' ? c - '1' : -1; }

int piece_at(char c) {
    switch (c) {
    case 'N': return KNIGHT;
    case 'B': return BISHOP;
    case 'R': return ROOK;
    case 'Q': return QUEEN;
    case 'K': return KING;
    default: return NO_TYPE;
    }
}

int promotion_at(char c) {
    switch (c) {
    case 'N': case 'n': return KNIGHT;
    case 'B': case 'b': return BISHOP;
    case 'R': case 'r': return ROOK;
    case 'Q': case 'q': return QUEEN;
    default: return NO_TYPE;
    }
}

bool is_castle_char(char c) { return c == 'O' || c == 'o' || c == '0'; }

// Reads the text into `w`; false when it cannot be a move.
bool read_text(std::string_view text, Wanted& w) {
    while (!text.empty() && (text.back() == '+' || text.back() == '#' || text.back() == '!' || text.back() == '?'))
        text.remove_suffix(1);
    if (text.empty() || text.size() > 12)
        return false;
    if (is_castle_char(text[0])) {
        if (text.size() == 3 && text[1] == '-' && is_castle_char(text[2]))
            w.castle = 1;
        else if (text.size() == 5 && text[1] == '-' && is_castle_char(text[2]) && text[3] == '-' &&
                 is_castle_char(text[4]))
            w.castle = 2;
        return w.castle != 0;
    }
    // Letters and digits only, "x", ":", "-" and "=" dropped.
    std::array<char, 12> s{};
    size_t n = 0;
    for (char c : text) {
        if (c == 'x' || c == ':' || c == '-' || c == '=')
            continue;
        s[n++] = c;
    }
    size_t i = 0;
    w.type = piece_at(s[0]);
    if (w.type != NO_TYPE)
        ++i;
    else if (n >= 4 && file_at(s[0]) >= 0 && rank_at(s[1]) >= 0 && file_at(s[2]) >= 0 && rank_at(s[3]) >= 0 &&
             (n == 4 || (n == 5 && promotion_at(s[4]) != NO_TYPE))) {
        // Coordinates: the moving piece is whatever stands on the from-square.
        w.from_file = file_at(s[0]);
        w.from_rank = rank_at(s[1]);
        w.to = make_square(file_at(s[2]), rank_at(s[3]));
        w.promotion = n == 5 ? promotion_at(s[4]) : NO_TYPE;
        return true;
    } else {
        w.type = PAWN;
    }
    // A promotion letter after the destination square.
    if (n >= 3 && promotion_at(s[n - 1]) != NO_TYPE && rank_at(s[n - 2]) >= 0) {
        w.promotion = promotion_at(s[n - 1]);
        --n;
    }
    if (n < i + 2 || file_at(s[n - 2]) < 0 || rank_at(s[n - 1]) < 0)
        return false;
    w.to = make_square(file_at(s[n - 2]), rank_at(s[n - 1]));
    for (size_t k = i; k < n - 2; ++k) {
        if (file_at(s[k]) >= 0 && w.from_file < 0)
            w.from_file = file_at(s[k]);
        else if (rank_at(s[k]) >= 0 && w.from_rank < 0)
            w.from_rank = rank_at(s[k]);
        else
            return false;
    }
    return true;
}

bool matches(const Position& pos, const Wanted& w, Move m) {
    const int from = move_from(m), to = move_to(m);
    const int type = type_of(pos.board[from]);
    const uint16_t flags = move_flags_of(m);
    const bool castle = type == KING && flags != 0;
    if (w.castle)
        return castle && (flags == FLAG_SHORT) == (w.castle == 1);
    if (w.from_file >= 0 && file_of(from) != w.from_file)
        return false;
    if (w.from_rank >= 0 && rank_of(from) != w.from_rank)
        return false;
    if (castle) {
        // Castling in coordinates: to the king's destination or onto the rook.
        const int rook = pos.castle_rook[pos.side * 2 + (flags == FLAG_SHORT ? 0 : 1)];
        return w.type == NO_TYPE && (to == w.to || rook == w.to);
    }
    if (to != w.to || (w.type != NO_TYPE && type != w.type))
        return false;
    if (type == PAWN && flags)
        return promotion_type(m) == (w.promotion == NO_TYPE ? QUEEN : w.promotion);
    return w.promotion == NO_TYPE || w.type == NO_TYPE;
}

} // namespace

Move decode_move(const Position& pos, std::string_view text) {
    Wanted w;
    if (!read_text(text, w))
        return NO_MOVE;
    if (pos.king_sq[pos.side] == NO_SQUARE)
        return NO_MOVE;
    std::array<MoveEntry, MAX_MOVES> list;
    MoveEntry* end = gen_captures(pos, pos.side, list.data(), NO_SQUARE);
    end = gen_promotions(pos, pos.side, 1, end);
    end = gen_seventh_pushes(pos, pos.side, end);
    end = gen_quiets(pos, pos.side, end, NO_SQUARE);
    Move found = NO_MOVE;
    for (MoveEntry* e = list.data(); e != end; ++e) {
        if (!matches(pos, w, e->move) || !is_legal(pos, pos.side, e->move))
            continue;
        if (found != NO_MOVE)
            return NO_MOVE;
        found = e->move;
    }
    return found;
}

bool is_playable(const Position& pos) {
    constexpr Bitboard END_RANKS = 0xFF000000000000FFULL;
    if (popcount(pieces_of(pos, WHITE, KING)) != 1 || popcount(pieces_of(pos, BLACK, KING)) != 1)
        return false;
    if ((pieces_of(pos, WHITE, PAWN) | pieces_of(pos, BLACK, PAWN)) & END_RANKS)
        return false;
    return !is_attacked(pos, pos.king_sq[pos.side ^ 1], pos.side);
}

namespace {

// Whether the FEN's placement puts a pawn on the first or last rank, where
// the FEN reader drops it: that start is refused, not played without it.
bool has_end_rank_pawn(std::string_view fen) {
    int rank = 7;
    for (const char c : fen) {
        if (c == ' ' || c == '\t')
            break;
        if (c == '/')
            --rank;
        else if ((c == 'P' || c == 'p') && (rank == 7 || rank == 0))
            return true;
    }
    return false;
}

} // namespace

bool set_start_position(const Game& game, Position& pos) {
    if (has_end_rank_pawn(game.fen))
        return false;
    pos_from_fen(pos, game.fen.empty() ? START_FEN : game.fen.c_str());
    const int clock = fen_halfmove_clock(game.fen);
    pos.halfmove = uint8_t(clock >= 0 && clock <= 255 ? clock : 0);
    return is_playable(pos);
}

int replay(Game& game, Position& pos, int max_plies) {
    if (!set_start_position(game, pos))
        return -1;
    int played = 0;
    for (GameMove& gm : game.moves) {
        if (played >= max_plies)
            break;
        gm.move = decode_move(pos, gm.text);
        if (gm.move == NO_MOVE)
            break;
        make_move(pos, gm.move);
        ++played;
    }
    return played;
}

} // namespace zelk::pgn
