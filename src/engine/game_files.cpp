#include "engine/game_files.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/notation.h"
#include "search/perft.h"
#include "search/control.h"
#include "engine/game.h"
#include "engine/interpreter.h"
#include "io/output.h"
#include "search/thread.h"

namespace zelk {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Reads a line of at most size - 1 characters; the rest of a longer line is dropped.
bool read_line(FILE* f, char* buffer, int size) {
    if (!std::fgets(buffer, size, f))
        return false;
    const size_t n = std::strlen(buffer);
    if (n == size_t(size - 1) && buffer[n - 1] != '\n') {
        int c;
        while ((c = std::fgetc(f)) != EOF && c != '\n') {
        }
    }
    buffer[std::strcspn(buffer, "\r\n")] = 0;
    return true;
}

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Reads one movetext token and plays it; false when it cannot be read.
bool play_token(std::string token) {
    size_t first = 0;
    while (first < token.size() && !is_letter(token[first]))
        ++first;
    token = token.substr(first);
    if (token.empty() || token[0] == '-')
        return true;
    if (token.size() > 32)
        token.resize(32);
    Move m;
    if (!parse_move(game->pos, token.c_str(), m)) {
        char line[80];
        std::snprintf(line, sizeof line, "can't parse move '%s'", token.c_str());
        emit_line(line);
        return false;
    }
    game_make_move(m);
    return true;
}

} // namespace

void get_test_position(const char* id) {
    File f(std::fopen("test.epd", "r"));
    if (!f)
        return;
    char pattern[160];
    std::snprintf(pattern, sizeof pattern, "id \"%s\"", id);
    char line[256];
    while (read_line(f.get(), line, sizeof line)) {
        if (line[0] == ' ' || line[0] == ';' || !std::strstr(line, pattern))
            continue;
        emit_line(line);
        if (std::strlen(line) > 8)
            pos_from_fen(game->pos, line);
        return;
    }
}

void load_game(const char* file_name, const char* tag) {
    char header[400];
    std::snprintf(header, sizeof header, "loading %s, tag %s\n", file_name, tag);
    emit_line(header);
    File f(std::fopen(file_name, "r"));
    if (!f)
        return;
    pos_from_fen(game->pos, START_FEN);
    char line[1024];
    bool found = tag[0] == 0;
    bool in_game = false;
    int comment_depth = 0;
    while (read_line(f.get(), line, sizeof line)) {
        const bool event = std::strstr(line, "[Event ") != nullptr;
        if (!found) {
            if (!std::strstr(line, tag))
                continue;
            found = true;
        } else if (event && in_game) {
            break;   // the next game begins
        }
        in_game = true;
        if (const char* fen = std::strstr(line, "[FEN ")) {
            const char* open = std::strchr(fen, '"');
            const char* close = open ? std::strchr(open + 1, '"') : nullptr;
            if (close) {
                std::string text(open + 1, close);
                pos_from_fen(game->pos, text.c_str());
            }
            continue;
        }
        if (line[0] == '[' && comment_depth == 0)
            continue;
        // Drop comments in braces (nesting counted, also across lines).
        std::string text;
        for (const char* p = line; *p; ++p) {
            if (*p == '{')
                ++comment_depth;
            else if (*p == '}' && comment_depth > 0)
                --comment_depth;
            else if (comment_depth == 0)
                text += *p;
        }
        std::istringstream tokens(text);
        std::string token;
        bool ok = true;
        while (ok && tokens >> token)
            ok = play_token(token);
        if (!ok)
            break;
    }
    game->history[game->history_count] = UndoRecord{};
    show_board(game->pos);
}

void save_game() {
    File f(std::fopen("tmp.pgn", "a"));
    if (!f)
        return;
    const int moves = game->history_count;
    while (game->history_count > 0)
        game_unmake_move();
    std::fputs("[Event \"Unknown\"]\n", f.get());
    for (int i = 0; i < moves; ++i) {
        const Move m = game->history[game->history_count].move;
        char forms[4][MOVE_TEXT_SIZE];
        move_to_texts(game->pos, m, forms[0], forms[1], forms[2], forms[3]);
        std::fprintf(f.get(), "%s ", forms[1]);
        game_make_move(m);
        if ((i + 1) % 11 == 0)
            std::fputc('\n', f.get());
    }
    std::fputs("\n\n", f.get());
}

void edit_position() {
    emit_line("\n\n");
    emit_line(".                    end edit");
    emit_line("#                    clear board");
    emit_line("w  Pa2 Pb2 Kc2       white, pieces");
    emit_line("b  Pa7 Pb7 Kc7       black, pieces");
    Position& pos = game->pos;
    char line[78];
    while (read_line(stdin, line, sizeof line) && line[0] != '.') {
        if (line[0] == 0)
            continue;
        if (line[0] == '#') {
            pos_clear(pos);
            continue;
        }
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (word != "w" && word != "b")
            continue;
        const int colour = word == "w" ? WHITE : BLACK;
        pos.side = uint8_t(colour);
        while (words >> word) {
            if (word.size() < 3 || word[1] < 'a' || word[1] > 'h' || word[2] < '1' || word[2] > '8')
                break;
            const char* letter = std::strchr(BLACK_LETTERS + 1, word[0] | 0x20);
            if (!letter || !word[0])
                continue;
            const int sq = (word[1] - 'a') + 8 * (word[2] - '1');
            if (pos.board[sq])
                pos_remove_piece(pos, sq);
            // Never more than 16 pieces a side: move lists stay within their room.
            if (popcount(pos.pieces[colour * 8]) < 16)
                pos_put_piece(pos, colour, int(letter - BLACK_LETTERS), sq);
        }
    }
    // Castling rights from kings and rooks on their standard squares.
    std::string rights;
    auto has = [&](int sq, int code) { return pos.board[sq] == code; };
    if (has(4, piece_code(WHITE, KING)) && has(7, piece_code(WHITE, ROOK)))
        rights += 'K';
    if (has(4, piece_code(WHITE, KING)) && has(0, piece_code(WHITE, ROOK)))
        rights += 'Q';
    if (has(60, piece_code(BLACK, KING)) && has(63, piece_code(BLACK, ROOK)))
        rights += 'k';
    if (has(60, piece_code(BLACK, KING)) && has(56, piece_code(BLACK, ROOK)))
        rights += 'q';
    char fen[FEN_BUFFER_SIZE];
    pos.castle_rights = 0;
    pos.ep_square = NO_SQUARE;
    pos_to_fen(pos, fen, false);
    std::string text = std::string(fen, std::strlen(fen) - 4) + " " + (rights.empty() ? "-" : rights) + " -";
    pos_from_fen(pos, text.c_str());
    show_board(pos);
}

} // namespace zelk
