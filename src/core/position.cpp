#include "core/position.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/attacks.h"
#include "core/hashcodes.h"
#include "core/board.h"

namespace zelk {

namespace {

// King and rook destinations per castling right.
constexpr int KING_DEST[4] = {6, 2, 62, 58};
constexpr int ROOK_DEST[4] = {5, 3, 61, 59};

// A legal game never has more than 16 pieces a side; capping the board
// there also bounds the length of any move list.
constexpr int MAX_PIECES_PER_SIDE = 16;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

const char* skip_blanks(const char* p) {
    while (is_blank(*p))
        ++p;
    return p;
}

// Squares from a to b inclusive along a rank.
Bitboard rank_span(int a, int b) {
    if (a > b) {
        int t = a;
        a = b;
        b = t;
    }
    Bitboard span = 0;
    for (int s = a; s <= b; ++s)
        span |= bit(s);
    return span;
}

} // namespace

void pos_clear(Position& pos) {
    pos.castle_rights = 0;
    pos.king_sq[0] = pos.king_sq[1] = NO_SQUARE;
    pos.ep_square = NO_SQUARE;
    pos.touched = 0;
    pos.halfmove = 0;
    pos.npm[0] = pos.npm[1] = 0;
    pos.mat_sig[0] = pos.mat_sig[1] = 0;
    std::memset(pos.board, 0, sizeof pos.board);
    pos.board_sentinel = 0;
    for (Bitboard& b : pos.pieces)
        b = 0;
    if (BoardState* t = pos.owner) {
        t->history_count = 0;
        t->search_ply = 1;
        t->last_move = 0;
    }
}

void pos_put_piece(Position& pos, int colour, int type, int sq) {
    type &= 7;
    pos.board[sq] = uint8_t(piece_code(colour, type));
    pos.pieces[colour * 8] |= bit(sq);
    pos.pieces[colour * 8 + type] |= bit(sq);
    pos.npm[colour] += NPM_POINTS[type];
    pos.mat_sig[colour] += MAT_SIG_INC[type];
    if (type == KING)
        pos.king_sq[colour] = uint8_t(sq);
}

void pos_remove_piece(Position& pos, int sq) {
    int code = pos.board[sq];
    int colour = colour_of(code), type = type_of(code);
    pos.board[sq] = 0;
    pos.pieces[colour * 8] &= ~bit(sq);
    pos.pieces[code] &= ~bit(sq);
    pos.npm[colour] -= NPM_POINTS[type];
    pos.mat_sig[colour] -= MAT_SIG_INC[type];
}

void pos_toggle_key(Position& pos, int code, int sq) {
    uint64_t z = zobrist(code, sq);
    pos.key ^= z;
    if (type_of(code) == PAWN)
        pos.pawn_key ^= z;
}

void pos_setup_castling(Position& pos, const char* field) {
    for (int i = 0; i < 4; ++i) {
        pos.castle_mask[i] = pos.castle_path[i] = 0;
        pos.castle_rook[i] = NO_SQUARE;
    }
    unsigned requested = 0;
    for (const char* p = field; *p && !is_blank(*p); ++p) {
        char c = *p;
        if (c == 'K')
            requested |= 1;
        else if (c == 'Q')
            requested |= 2;
        else if (c == 'k')
            requested |= 4;
        else if (c == 'q')
            requested |= 8;
        else if (c >= 'A' && c <= 'H')
            requested |= (c - 'A' > file_of(pos.king_sq[WHITE])) ? 1 : 2;
        else if (c >= 'a' && c <= 'h')
            requested |= (c - 'a' > file_of(pos.king_sq[BLACK])) ? 4 : 8;
    }
    for (int i = 0; i < 4; ++i) {
        if (!(requested & (1u << i)))
            continue;
        int colour = i >> 1;
        int king = pos.king_sq[colour];
        if (king == NO_SQUARE || rank_of(king) != (colour == WHITE ? 0 : 7))
            continue;
        bool is_short = (i & 1) == 0;
        Bitboard back_rank = Bitboard(0xFF) << (8 * rank_of(king));
        Bitboard side_of_king = is_short ? back_rank & ~((bit(king) << 1) - 1) : back_rank & (bit(king) - 1);
        Bitboard candidates = side_of_king & pieces_of(pos, colour, ROOK);
        if (popcount(candidates) != 1)
            continue;
        int rook = lsb(candidates);
        int king_to = KING_DEST[i], rook_to = ROOK_DEST[i];
        pos.castle_rook[i] = uint8_t(rook);
        pos.castle_rights |= uint8_t(1u << i);
        pos.castle_mask[i] = bit(king) | bit(rook);
        pos.castle_path[i] = (rank_span(king, king_to) | rank_span(rook, rook_to)) & ~bit(king) & ~bit(rook);
    }
}

void pos_compute_keys(const Position& pos, uint64_t& key, uint64_t& pawn_key) {
    key = pawn_key = 0;
    for (int s = 0; s < 64; ++s) {
        int p = pos.board[s];
        if (!p)
            continue;
        key ^= zobrist(p, s);
        if (type_of(p) == PAWN)
            pawn_key ^= zobrist(p, s);
    }
    if (pos.ep_square != NO_SQUARE)
        key ^= zobrist(0, pos.ep_square);
    key ^= zobrist(0, pos.castle_rights);
    key = (key & ~(uint64_t(1) << 32)) + (uint64_t(pos.side) << 32);
}

void pos_compute_keys(Position& pos) { pos_compute_keys(pos, pos.key, pos.pawn_key); }

int pos_from_fen(Position& pos, const char* text) {
    pos_clear(pos);
    const char* p = text;

    // Board. Pieces that would fall off a rank or the board are dropped. A
    // colour keeps its first king and at most 15 other men: whatever a board
    // with too many men loses, it is never the king, and a second king is
    // dropped (the search could capture one and walk on with the other). A
    // pawn on the first or last rank is dropped too: moves and the
    // evaluation step pawns a rank on, which from there leaves the board.
    int rank = 7, file = 0;
    int others[2] = {0, 0};
    bool king_placed[2] = {false, false};
    for (; *p && !is_blank(*p); ++p) {
        char c = *p;
        if (c == '/') {
            --rank;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
        } else if (c && (std::strchr(WHITE_LETTERS + 1, c) || std::strchr(BLACK_LETTERS + 1, c))) {
            const char* w = std::strchr(WHITE_LETTERS + 1, c);
            const int colour = w ? WHITE : BLACK;
            const int type = int(w ? w - WHITE_LETTERS : std::strchr(BLACK_LETTERS + 1, c) - BLACK_LETTERS);
            const bool first_king = type == KING && !king_placed[colour];
            const bool end_rank_pawn = type == PAWN && (rank == 0 || rank == 7);
            const bool extra_king = type == KING && !first_king;
            if (file < 8 && rank >= 0 && !end_rank_pawn && !extra_king &&
                (first_king || others[colour] < MAX_PIECES_PER_SIDE - 1)) {
                pos_put_piece(pos, colour, type, make_square(file, rank));
                if (first_king)
                    king_placed[colour] = true;
                else
                    ++others[colour];
            }
            ++file;
        }
        if (file > 8)
            file = 8;   // keeps the counter small on long runs of digits
    }

    // Side: exactly one character; 'b' is Black, and anything else, or no
    // side field at all, White.
    p = skip_blanks(p);
    pos.side = *p == 'b' ? BLACK : WHITE;
    if (*p)
        ++p;

    // Castling.
    p = skip_blanks(p);
    pos_setup_castling(pos, p);
    while (*p && !is_blank(*p))
        ++p;

    // En passant: a file letter sets the file, a rank digit adds its rank.
    p = skip_blanks(p);
    int ep = NO_SQUARE;
    for (; *p && !is_blank(*p); ++p) {
        if (*p >= 'a' && *p <= 'h')
            ep = *p - 'a';
        else if (*p >= '1' && *p <= '8' && ep < 64)
            ep += 8 * (*p - '1');
    }
    // Only a square just passed over by an enemy pawn's double step can be
    // taken en passant; anything else would let make-move remove a piece
    // that is not there.
    if (ep < 64) {
        int step = pos.side == WHITE ? 8 : -8;
        int them = pos.side ^ 1;
        bool valid = rank_of(ep) == (pos.side == WHITE ? 5 : 2) && pos.board[ep] == 0 &&
                     pos.board[ep - step] == piece_code(them, PAWN) && pos.board[ep + step] == 0;
        if (!valid)
            ep = NO_SQUARE;
    } else {
        ep = NO_SQUARE;
    }
    pos.ep_square = uint8_t(ep);

    pos_compute_keys(pos);
    if (BoardState* t = pos.owner) {
        t->history[0] = UndoRecord{};
        t->history[1] = UndoRecord{};
        t->history_count = 0;
    }
    return 0;
}

int fen_halfmove_clock(std::string_view fen) {
    size_t at = 0;
    for (int field = 0; field < 4; ++field) {
        at = fen.find_first_not_of(' ', at);
        at = at == std::string_view::npos ? at : fen.find(' ', at);
        if (at == std::string_view::npos)
            return FEN_CLOCK_ABSENT;
    }
    at = fen.find_first_not_of(' ', at);
    if (at == std::string_view::npos)
        return FEN_CLOCK_ABSENT;
    const size_t end = std::min(fen.find(' ', at), fen.size());
    int value = 0;
    for (size_t i = at; i < end; ++i) {
        if (fen[i] < '0' || fen[i] > '9')
            return FEN_CLOCK_JUNK;
        value = std::min(9999, value * 10 + (fen[i] - '0'));
    }
    return value;
}

void square_name(int sq, char* out) {
    if (sq < 0 || sq >= 64) {
        out[0] = 0;
        return;
    }
    out[0] = char('a' + file_of(sq));
    out[1] = char('1' + rank_of(sq));
    out[2] = 0;
}

void pos_to_fen(const Position& pos, char* buffer, bool with_counters) {
    char* out = buffer;
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            int code = pos.board[make_square(file, rank)];
            if (!code) {
                ++empty;
                continue;
            }
            if (empty)
                *out++ = char('0' + empty);
            empty = 0;
            *out++ = code < 9 ? WHITE_LETTERS[type_of(code)] : BLACK_LETTERS[type_of(code)];
        }
        if (empty)
            *out++ = char('0' + empty);
        if (rank)
            *out++ = '/';
    }
    *out++ = ' ';
    *out++ = pos.side ? 'b' : 'w';
    *out++ = ' ';
    if (!pos.castle_rights)
        *out++ = '-';
    for (int i = 0; i < 4; ++i)
        if (pos.castle_rights & (1u << i))
            *out++ = "KQkq"[i];
    *out++ = ' ';
    if (pos.ep_square == NO_SQUARE) {
        *out++ = '-';
    } else {
        square_name(pos.ep_square, out);
        out += 2;
    }
    *out = 0;
    if (with_counters) {
        int plies = pos.owner ? pos.owner->history_count : 0;
        std::snprintf(out, FEN_BUFFER_SIZE - size_t(out - buffer), " %d %d", pos.halfmove, plies);
    }
}

std::string board_text(const Position& pos) {
    char fen[FEN_BUFFER_SIZE];
    pos_to_fen(pos, fen, true);
    std::string text = fen;
    text += '\n';
    for (int rank = 7; rank >= 0; --rank) {
        text += ' ';
        for (int file = 0; file < 8; ++file) {
            int code = pos.board[make_square(file, rank)];
            char c;
            if (!code)
                c = ((file ^ rank) & 1) ? '-' : '+';
            else
                c = code < 9 ? "-PNBRQK"[type_of(code)] : "-onbrqk"[type_of(code)];
            text += ' ';
            text += c;
        }
        text += '\n';
    }
    text += pos.side ? "black\n" : "white\n";
    return text;
}

} // namespace zelk
