#include "core/notation.h"

#include <cstdio>
#include <cstring>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/movegen.h"

namespace zelk {

NotationStyle notation_style;

namespace {

char* put_square(char* out, int sq) {
    square_name(sq, out);
    return out + 2;
}

bool gives_check(const Position& pos, Move m, int moved_type) {
    const int us = pos.side, from = move_from(m), to = move_to(m);
    const int k = pos.king_sq[us ^ 1];
    Bitboard occ = (occupancy(pos) & ~bit(from)) | bit(to);
    if (moved_type == PAWN && to == pos.ep_square)
        occ &= ~bit(to - (us == WHITE ? 8 : -8));
    if (k == NO_SQUARE)
        return false;
    if (attacks_by_type(moved_type, us, to, occ) & bit(k))
        return true;
    return least_attacker(pos, k, us, occ) != NO_SQUARE;
}

// Spells a trailing promotion piece as "=X" in upper case, so "e7e8q", "e8Q"
// and "e8=q" all read as their "=Q" forms. False when that does not fit.
bool respell_promotion(char* s, size_t size) {
    size_t len = std::strlen(s);
    if (len == 0)
        return true;
    char last = s[len - 1];
    char upper = (last >= 'a' && last <= 'z') ? char(last - 'a' + 'A') : last;
    if (upper != 'Q' && upper != 'R' && upper != 'B' && upper != 'N')
        return true;
    if (len >= 2 && s[len - 2] == '=') {
        s[len - 1] = upper;
        return true;
    }
    if (len + 2 > size)
        return false;
    s[len - 1] = '=';
    s[len] = upper;
    s[len + 1] = 0;
    return true;
}

} // namespace

void move_to_coord(const Position& pos, int side, Move m, char* buffer) {
    if (m == NO_MOVE) {
        std::strcpy(buffer, "null");
        return;
    }
    const int from = move_from(m), to = move_to(m);
    char* out = put_square(buffer, from);
    const uint16_t flags = m & FLAG_MASK;
    if (flags && (rank_of(from) == 0 || rank_of(from) == 7)) {
        int rook = pos.castle_rook[side * 2 + ((flags & FLAG_SHORT) ? 0 : 1)];
        out = put_square(out, notation_style.chess960 && rook != NO_SQUARE ? rook : to);
    } else {
        out = put_square(out, to);
        if (flags) {
            char letter = WHITE_LETTERS[promotion_type(m)];
            if (notation_style.uci) {
                *out++ = char(letter - 'A' + 'a');
            } else {
                *out++ = '=';
                *out++ = letter;
            }
        }
    }
    *out = 0;
}

void move_to_texts(const Position& pos, Move m, char* form1, char* form2, char* form3, char* form4) {
    const int us = pos.side;
    const int from = move_from(m), to = move_to(m);
    const int type = type_of(pos.board[from]);
    const uint16_t flags = m & FLAG_MASK;
    move_to_coord(pos, us, m, form1);
    form2[0] = form3[0] = form4[0] = 0;
    if (m == NO_MOVE)
        return;

    if (flags && type == KING) {
        const bool is_short = (flags & FLAG_SHORT) != 0;
        std::strcpy(form2, is_short ? "o-o" : "o-o-o");
        std::strcpy(form3, is_short ? "O-O" : "O-O-O");
        int rook = pos.castle_rook[us * 2 + (is_short ? 0 : 1)];
        char* out = put_square(form4, from);
        put_square(out, notation_style.chess960 || rook == NO_SQUARE ? to : rook);
        return;
    }

    const bool capture = pos.board[to] != 0 || (type == PAWN && to == pos.ep_square);
    const char from_file = char('a' + file_of(from));
    char* f2 = form2;
    char* f3 = form3;
    char* f4 = form4;
    if (type == PAWN) {
        if (capture) {
            *f2++ = from_file;
            *f2++ = 'x';
            *f3++ = from_file;
            *f3++ = char('a' + file_of(to));
        }
        f2 = put_square(f2, to);
        if (flags) {
            char letter = WHITE_LETTERS[promotion_type(m)];
            *f2++ = '=';
            *f2++ = letter;
            *f3++ = '=';
            *f3++ = letter;
        }
    } else {
        const char letter = WHITE_LETTERS[type];
        *f2++ = letter;
        *f3++ = letter;
        *f4++ = letter;
        // Other pieces of the kind that reach the to-square (pins ignored).
        Bitboard rivals = pieces_of(pos, us, type) & ~bit(from);
        Bitboard occ = occupancy(pos);
        Bitboard reaching = 0;
        for (Bitboard r = rivals; r;) {
            int s = pop_lsb(r);
            if (attacks_by_type(type, us, s, occ) & bit(to))
                reaching |= bit(s);
        }
        // SAN names the from-file, else the from-rank, else both: with rivals
        // on the file and on the rank, neither alone tells the moves apart.
        if (reaching) {
            const bool same_file = reaching & (0x0101010101010101ULL << file_of(from));
            const bool same_rank = reaching & (0xFFULL << (8 * rank_of(from)));
            if (!same_file || same_rank)
                *f2++ = from_file;
            if (same_file)
                *f2++ = char('1' + rank_of(from));
        }
        *f3++ = from_file;
        *f4++ = char('1' + rank_of(from));
        if (capture) {
            *f2++ = 'x';
            *f3++ = 'x';
            *f4++ = 'x';
        }
        f2 = put_square(f2, to);
        f3 = put_square(f3, to);
        f4 = put_square(f4, to);
    }
    *f2 = *f3 = *f4 = 0;

    int moved = flags ? promotion_type(m) : type;
    if (gives_check(pos, m, moved)) {
        // Pawn pushes leave forms 3 and 4 empty and promotions form 4; the mark goes on regardless.
        for (char* form : {form1, form2, form3, form4})
            std::strcat(form, "+");
    }
}

int parse_move(Position& pos, const char* text, Move& result) {
    result = NO_MOVE;
    // No form is longer than 10 characters; longer input cannot match.
    char wanted[MOVE_TEXT_SIZE];
    size_t len = std::strcspn(text, "+");
    if (len == 0 || len >= sizeof wanted)
        return 0;
    std::memcpy(wanted, text, len);
    wanted[len] = 0;

    if (!respell_promotion(wanted, sizeof wanted))
        return 0;
    for (char* c = wanted; *c; ++c)
        if (*c == 'O' || *c == '0')
            *c = 'o';

    MoveEntry list[MAX_MOVES];
    gen_all(pos, list);
    int matches = 0;
    for (MoveEntry* e = list; e->move != END_OF_LIST; ++e) {
        char forms[4][MOVE_TEXT_SIZE];
        move_to_texts(pos, e->move, forms[0], forms[1], forms[2], forms[3]);
        // Both sides of the comparison spell promotions alike: in UCI mode
        // the coordinate form ends in a lower-case letter ("e7e8q").
        for (auto& f : forms) {
            f[std::strcspn(f, "+")] = 0;
            respell_promotion(f, MOVE_TEXT_SIZE);
        }
        bool same = false;
        for (auto& f : forms)
            same = same || std::strcmp(f, wanted) == 0;
        if (same && is_legal(pos, pos.side, e->move)) {
            ++matches;
            result = e->move;
        }
    }
    if (matches > 1)
        std::fputs("ambiguous move\n", stdout);
    return matches == 1;
}

} // namespace zelk
